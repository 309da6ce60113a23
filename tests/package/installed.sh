# Shared by the installation tests: runs an installed program on the demo databases through
# the installed sample configuration, edited as an operator would and put into the user's
# configuration folder:   run_installed BIN_FOLDER SAMPLE WORK_FOLDER
run_installed() {
    local bin=$1 sample=$2 work=$3
    local demo="$work/demo" config="$work/config"
    "$bin/zarn-vantrel-generate" --demo "$demo" >/dev/null
    # The demo's own configuration is not where the program looks.
    rm "$demo/ZARN_Vantrel_DB_importer.ini"
    mkdir -p "$config/zarn-vantrel-importer"
    sed -e 's|^#PELKZARN_CONNECTION_DBTYPE=2$|PELKZARN_CONNECTION_DBTYPE=2|' \
        -e 's|^#PELKZARN_CONNECTION_PROVIDER=SQLite$|PELKZARN_CONNECTION_PROVIDER=SQLite|' \
        -e "s|^#PELKZARN_CONNECTION_DATASOURCE=/srv/zarn\$|PELKZARN_CONNECTION_DATASOURCE=$demo/zarn|" \
        -e "s|^#VT_CONN_STRING=Provider=SQLite;Data Source=/srv/vantrel/vantrel.db\$|VT_CONN_STRING=Provider=SQLite;Data Source=$demo/vantrel.db|" \
        "$sample" >"$config/zarn-vantrel-importer/ZARN_Vantrel_DB_importer.ini"

    local list import
    list=$(XDG_CONFIG_HOME="$config" "$bin/zarn-vantrel-importer" --batch --list)
    echo "$list"
    for entry in NORTHPLANT "North Plant" "Hilltop Water Plant"; do
        grep -q "$entry" <<<"$list" || { echo "the list lacks $entry" >&2; return 1; }
    done
    import=$(XDG_CONFIG_HOME="$config" "$bin/zarn-vantrel-importer" --batch --site 102 \
        --facility NORTHPLANT --variables --data --start 2024-03-03 --end 2024-03-09 2>/dev/null)
    echo "$import"
    grep -q "Inserted 2304 data records into ZARN database." <<<"$import" ||
        { echo "the import did not write the demo's readings" >&2; return 1; }
}
