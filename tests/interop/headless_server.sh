# Sourced by the end-to-end tests. start_headless_server DIR PORT PROGRAM [ENV=VALUE ...]
# writes a settings hive in DIR/config that serves DIR/out and DIR/in on PORT (plus the lines
# in $HIVE_EXTRA), starts PROGRAM --headless --listen=127.0.0.1 from DIR with the given
# environment (output in DIR/stdout and DIR/stderr), sets PID and waits until it listens.
start_headless_server() {
    local dir=$1 port=$2 program=$3
    shift 3
    mkdir -p "$dir/config" "$dir/out" "$dir/in"
    cat >"$dir/config/ravendockd.reg" <<HIVE
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Quenmarsh\\Tollerby]
"OutPath"="$dir/out/"
"InPath"="$dir/in/"
"Port"="$port"
"bDelete"=dword:0000070e
${HIVE_EXTRA:-}
HIVE
    (cd "$dir" && exec env XDG_CONFIG_HOME="$dir/config" "$@" "$program" --headless \
        --listen=127.0.0.1) >"$dir/stdout" 2>"$dir/stderr" &
    PID=$!
    for _ in $(seq 1 50); do
        grep -q "listening on" "$dir/stderr" && return 0
        sleep 0.1
    done
    return 1
}
