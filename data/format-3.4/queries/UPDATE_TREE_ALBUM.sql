INSERT INTO tree_album ( Name, anzahl, imgkey )
SELECT db_all.Album, Count(*) AS anzahl, 'Tree.Album' AS imgkey
FROM db_all
WHERE db_all.DEL = False AND db_all.Album <> ''
GROUP BY db_all.Album
ORDER BY db_all.Album
