INSERT INTO tree_genre_interpret ( Genre, Name, anzahl, imgkey )
SELECT db_all.Genre, db_all.Interpret, Count(*) AS anzahl, 'Tree.Interpret' AS imgkey
FROM db_all
WHERE db_all.DEL = False AND db_all.Genre <> '' AND db_all.Interpret <> ''
GROUP BY db_all.Genre, db_all.Interpret
ORDER BY db_all.Genre, db_all.Interpret
