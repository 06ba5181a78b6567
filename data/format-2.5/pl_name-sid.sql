-- Later 2.5 libraries carry sid as the last column of pl_name.
ALTER TABLE pl_name ADD COLUMN sid LONG;
