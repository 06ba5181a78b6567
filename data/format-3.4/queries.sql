-- Stored queries of the shipped target database, format 3.4. Each text lies in
-- queries/<name>.sql and is stored unchanged (the shell's .query command).
--
-- The directory-tree rebuild runs v_tree_dir once and QU_UpadateTreeDirAnzahl once per
-- folder row with a prefix pattern such as 'C:\Music\*': Path is indexed, so each count is a
-- range over that index. The four appends refill the emptied tree tables; tree_genre and the
-- others are the links to the tree database, made at the tool's first start, so the queries
-- name tables that the shipped file itself does not hold yet. Titles marked deleted and empty
-- (Null or "") values appear in no tree.
.query v_tree_dir queries/v_tree_dir.sql
.query QU_UpadateTreeDirAnzahl queries/QU_UpadateTreeDirAnzahl.sql
.query UPDATE_TREE_GENRE queries/UPDATE_TREE_GENRE.sql
.query UPDATE_TREE_GENRE_interpret queries/UPDATE_TREE_GENRE_interpret.sql
.query UPDATE_TREE_ALBUM queries/UPDATE_TREE_ALBUM.sql
.query UPDATE_TREE_interpret queries/UPDATE_TREE_interpret.sql
