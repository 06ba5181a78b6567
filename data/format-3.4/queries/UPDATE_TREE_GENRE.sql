INSERT INTO tree_genre ( Name, anzahl, imgkey )
SELECT db_all.Genre, Count(*) AS anzahl, 'Tree.Genre' AS imgkey
FROM db_all
WHERE db_all.DEL = False AND db_all.Genre <> ''
GROUP BY db_all.Genre
ORDER BY db_all.Genre
