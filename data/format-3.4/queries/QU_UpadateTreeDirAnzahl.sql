PARAMETERS sPath Text ( 255 );
SELECT Count(*) AS anz
FROM db_all
WHERE db_all.Path Like sPath AND db_all.DEL = False
