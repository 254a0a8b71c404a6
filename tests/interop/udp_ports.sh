# Sourced by the end-to-end tests: free UDP ports on 127.0.0.1.

udp_port_bound() { # port is bound on 127.0.0.1 or 0.0.0.0
    local hex
    hex=$(printf '%04X' "$1")
    awk -v p=":$hex" 'NR > 1 && substr($2, length($2) - 4) == p { f = 1 } END { exit !f }' /proc/net/udp
}

pick_port() { # a port nobody has bound, from 20000-59999
    local p
    for _ in $(seq 1 50); do
        p=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
        udp_port_bound "$p" || {
            echo "$p"
            return 0
        }
    done
    return 1
}
