SELECT db_all.Path, db_all.DriveName, db_all.DriveTyp, Count(*) AS anzahl
FROM db_all
WHERE db_all.DEL = False
GROUP BY db_all.Path, db_all.DriveName, db_all.DriveTyp
ORDER BY db_all.Path, db_all.DriveName
