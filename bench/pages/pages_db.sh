# The large demo database the page benchmarks run on (100,000 properties, one
# property given ENTITIES entities of two phones each), made under BUILD/bench/
# when absent. Sourced after scripts/functions.sh; sets pages_db to its path.
#   make_pages_db build entities
make_pages_db() {  # build entities
  local build=$1 entities=$2
  mkdir -p "$build/bench"
  pages_db="$build/bench/pages.fdb"
  [ -f "$pages_db" ] && return 0
  rm -f "$pages_db.new"
  echo "making $pages_db (100,000 properties)..." >&2
  "$build/qvdemo" --db "$pages_db.new" --properties 100000 --quiet
  isql-fb -q -user SYSDBA "$pages_db.new" <<SQL
SET TERM ^ ;
EXECUTE BLOCK AS
  DECLARE n INTEGER;
  DECLARE e INTEGER;
  DECLARE p INTEGER;
BEGIN
  SELECT COUNT(*) FROM ENTITY WHERE PROPERTY_ID = 1 INTO :n;
  SELECT COALESCE(MAX(ENTITY_ID), 0) FROM ENTITY INTO :e;
  SELECT COALESCE(MAX(PHONE_ID), 0) FROM GEN_PHONES INTO :p;
  WHILE (n < $entities) DO
  BEGIN
    n = n + 1;
    e = e + 1;
    p = p + 2;
    INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER)
      VALUES (:p - 1, 2, :e, 'Home', '206-555-' || LPAD(:n, 4, '0'));
    INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER)
      VALUES (:p, 2, :e, 'Work', '206-556-' || LPAD(:n, 4, '0'));
    INSERT INTO ENTITY (ENTITY_ID, PROPERTY_ID, E_TYPE_ID, FIRST_NAME, LAST_OR_COMPANY_NAME,
                        PRIMARY_PHONE_ID)
      VALUES (:e, 1, 4, 'Pat', 'Tenant ' || LPAD(:n, 2, '0'), :p - 1);
  END
END^
SET TERM ; ^
COMMIT;
SQL
  mv "$pages_db.new" "$pages_db"
}

# One number from the database DB.
pages_db_number() {  # db query
  isql-fb -q -user SYSDBA "$1" <<<"SET HEADING OFF; $2;" | awk 'NF {print $1; exit}'
}
