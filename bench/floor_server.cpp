// floor-server: the least work a lock-step TFTP server can do per block, so the benchmark can show
// how far below the real servers the CPU cost per GiB could possibly go on this machine.
//
// This is a loopback benchmark instrument, NOT a usable server: it never retransmits. A real
// server has to arm (or re-arm) a timer for every block it sends and pay for it on every block;
// the floor must not include that work, and on 127.0.0.1 nothing is lost unless a buffer
// overflows. A lost packet therefore stalls its transfer until the idle sweep drops it (10 s).
// There is no dallying after the last ACK either; that does not matter for the benchmark.
//
// Per block the work is one recvfrom, one send, and a share of one epoll_wait. Reads come from the
// file 256 KiB at a time and each DATA goes out with sendmsg straight from that buffer (a 4-byte
// header and a pointer, no copy of its own); writes are gathered into 256 KiB before each
// write(). A read-only mapping of the file would save the read's copy but costs more: setting up
// the page tables of a 64 MiB file took half again the CPU of reading it. Each transfer socket is
// connected to its peer, so the kernel drops datagrams from any other address and port and sends
// need no address.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr uint16_t kRrq = 1;
constexpr uint16_t kWrq = 2;
constexpr uint16_t kData = 3;
constexpr uint16_t kAck = 4;
constexpr uint16_t kError = 5;
constexpr uint16_t kOack = 6;

constexpr uint16_t kErrUndefined = 0;
constexpr uint16_t kErrNotFound = 1;
constexpr uint16_t kErrAccess = 2;
constexpr uint16_t kErrDiskFull = 3;
constexpr uint16_t kErrIllegal = 4;

constexpr size_t kDefaultBlksize = 512;
constexpr size_t kMinBlksize = 8;
constexpr size_t kMaxBlksize = 65464;
constexpr size_t kFileBuffer = 256 * 1024;
constexpr size_t kRecvBuffer = 65536 + 4;
constexpr int kMaxEvents = 256;
constexpr int kWaitMs = 1000;
constexpr unsigned kIdleTicks = 10;  // one tick a second: dropped after more than 10 s quiet

struct Transfer {
    int sock = -1;
    bool is_read = false;
    bool last_sent = false;  // read: the short final block is out, its ACK ends the transfer
    size_t index = 0;        // position in the list of transfers, for O(1) removal
    size_t blksize = kDefaultBlksize;
    uint64_t block = 0;        // read: last block sent; write: last block acknowledged
    unsigned quiet_ticks = 0;  // sweep ticks since the last step forward
    int file = -1;             // the file served or stored
    std::unique_ptr<unsigned char[]>
        buf;                   // read: file data from chunk_start; write: not yet written
    size_t cap = 0;            // read: buffer size, whole blocks
    uint64_t chunk_start = 0;  // read: file offset of buf[0]
    size_t used = 0;           // read: bytes in buf; write: bytes waiting
};

// Tags in epoll's data.ptr for the descriptors that are not transfers.
char listen_tag;
char signal_tag;
char tick_tag;

int g_epoll = -1;
int g_listen = -1;
int g_root = -1;
std::vector<Transfer*> g_transfers;
alignas(16) unsigned char g_rx[kRecvBuffer];

uint16_t get16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

void put16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v & 0xff);
}

size_t error_packet(unsigned char* out, uint16_t code, const char* msg) {
    put16(out, kError);
    put16(out + 2, code);
    size_t n = std::strlen(msg);
    std::memcpy(out + 4, msg, n + 1);
    return 4 + n + 1;
}

void send_error_to(int sock, const sockaddr_in& peer, uint16_t code, const char* msg) {
    unsigned char pkt[128];
    size_t n = error_packet(pkt, code, msg);
    // Best effort: nobody waits for an ERROR to be acknowledged.
    (void)sendto(sock, pkt, n, 0, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
}

void send_error(int sock, uint16_t code, const char* msg) {
    unsigned char pkt[128];
    size_t n = error_packet(pkt, code, msg);
    (void)send(sock, pkt, n, 0);
}

void destroy(Transfer* t) {
    Transfer* moved = g_transfers.back();
    moved->index = t->index;
    g_transfers[t->index] = moved;
    g_transfers.pop_back();
    close(t->sock);  // also removes it from the epoll set
    if (t->file >= 0) {
        close(t->file);
    }
    delete t;
}

// Read side: DATA block t->block straight from the read buffer, refilled when the block is not
// wholly in it.
bool send_block(Transfer* t) {
    uint64_t offset = (t->block - 1) * t->blksize;
    if (offset < t->chunk_start || offset + t->blksize > t->chunk_start + t->used) {
        ssize_t n;
        do {
            n = pread(t->file, t->buf.get(), t->cap, static_cast<off_t>(offset));
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            send_error(t->sock, kErrUndefined, "Read error");
            return false;
        }
        t->chunk_start = offset;
        t->used = static_cast<size_t>(n);
    }
    size_t at = static_cast<size_t>(offset - t->chunk_start);
    size_t left = t->used - at;
    size_t len = left < t->blksize ? left : t->blksize;
    unsigned char hdr[4];
    put16(hdr, kData);
    put16(hdr + 2, static_cast<uint16_t>(t->block));
    iovec iov[2] = {{hdr, 4}, {t->buf.get() + at, len}};
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = len == 0 ? 1 : 2;
    t->last_sent = len < t->blksize;
    return sendmsg(t->sock, &msg, 0) >= 0;
}

bool send_ack(Transfer* t) {
    unsigned char pkt[4];
    put16(pkt, kAck);
    put16(pkt + 2, static_cast<uint16_t>(t->block));
    return send(t->sock, pkt, 4, 0) >= 0;
}

bool flush(Transfer* t) {
    size_t done = 0;
    while (done < t->used) {
        ssize_t n = write(t->file, t->buf.get() + done, t->used - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    t->used = 0;
    return true;
}

// Write side: append one block's payload, writing out every full buffer.
bool store(Transfer* t, const unsigned char* data, size_t len) {
    while (len > 0) {
        size_t room = kFileBuffer - t->used;
        size_t n = len < room ? len : room;
        std::memcpy(t->buf.get() + t->used, data, n);
        t->used += n;
        data += n;
        len -= n;
        if (t->used == kFileBuffer && !flush(t)) {
            return false;
        }
    }
    return true;
}

void on_transfer(Transfer* t) {
    // No source address wanted: the connected socket only hears from the transfer's peer.
    ssize_t n = recvfrom(t->sock, g_rx, sizeof g_rx, MSG_TRUNC, nullptr, nullptr);
    if (n < 0) {
        if (errno != EAGAIN && errno != EINTR) {
            destroy(t);  // e.g. ECONNREFUSED: the peer's port is gone
        }
        return;
    }
    size_t len = static_cast<size_t>(n);
    if (len < 4) {
        return;
    }
    uint16_t op = get16(g_rx);
    if (op == kError) {
        destroy(t);  // its message may well be longer than a small block
        return;
    }
    if (len > t->blksize + 4) {
        return;
    }
    uint16_t num = get16(g_rx + 2);
    if (t->is_read) {
        if (op != kAck || num != static_cast<uint16_t>(t->block)) {
            return;  // stale or duplicate: answering would start the Sorcerer's Apprentice
        }
        if (t->last_sent) {
            destroy(t);
            return;
        }
        t->quiet_ticks = 0;
        ++t->block;
        if (!send_block(t)) {
            destroy(t);
        }
        return;
    }
    if (op != kData) {
        return;
    }
    if (num == static_cast<uint16_t>(t->block)) {
        // Our ACK was lost and the client resent the block: acknowledging again is harmless.
        if (!send_ack(t)) {
            destroy(t);
        }
        return;
    }
    if (num != static_cast<uint16_t>(t->block + 1)) {
        return;
    }
    t->quiet_ticks = 0;
    size_t payload = len - 4;
    bool last = payload < t->blksize;
    if (!store(t, g_rx + 4, payload) || (last && !flush(t))) {
        send_error(t->sock, kErrDiskFull, "Disk full or allocation exceeded");
        destroy(t);
        return;
    }
    ++t->block;
    if (!send_ack(t) || last) {
        destroy(t);
    }
}

bool equal_nocase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] + 32) : b[i];
        if (x != y) {
            return false;
        }
    }
    return true;
}

// Decimal value, saturating instead of overflowing; false when it is not a number.
bool parse_number(std::string_view s, uint64_t& out) {
    if (s.empty() || s.size() > 20) {
        return false;
    }
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
        uint64_t d = static_cast<uint64_t>(c - '0');
        v = v > (UINT64_MAX - d) / 10 ? UINT64_MAX : v * 10 + d;
    }
    out = v;
    return true;
}

bool name_allowed(std::string_view name) {
    return !name.empty() && name.find('/') == std::string_view::npos &&
           name.find('\\') == std::string_view::npos && name.find("..") == std::string_view::npos;
}

// Next NUL-terminated field starting at pos, or false when the NUL is missing.
bool next_field(const unsigned char* p, size_t len, size_t& pos, std::string_view& out) {
    const void* nul = std::memchr(p + pos, 0, len - pos);
    if (nul == nullptr) {
        return false;
    }
    size_t end = static_cast<size_t>(static_cast<const unsigned char*>(nul) - p);
    out = std::string_view(reinterpret_cast<const char*>(p + pos), end - pos);
    pos = end + 1;
    return true;
}

void append_option(std::string& oack, const char* name, const std::string& value) {
    oack += name;
    oack += '\0';
    oack += value;
    oack += '\0';
}

Transfer* open_transfer(const sockaddr_in& peer) {
    int s = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0) {
        return nullptr;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    local.sin_port = 0;  // a fresh port: the transfer's own TID
    auto* t = new Transfer;
    t->sock = s;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.ptr = t;
    if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) < 0 ||
        connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) < 0 ||
        epoll_ctl(g_epoll, EPOLL_CTL_ADD, s, &ev) < 0) {
        close(s);
        delete t;
        return nullptr;
    }
    t->index = g_transfers.size();
    g_transfers.push_back(t);
    return t;
}

void on_request(uint16_t op, size_t len, const sockaddr_in& peer) {
    size_t pos = 2;
    std::string_view name;
    std::string_view mode;
    if (!next_field(g_rx, len, pos, name) || !next_field(g_rx, len, pos, mode)) {
        return;
    }
    if (!equal_nocase(mode, "octet") && !equal_nocase(mode, "netascii")) {
        send_error_to(g_listen, peer, kErrIllegal, "Illegal TFTP operation");
        return;
    }
    if (!name_allowed(name)) {
        send_error_to(g_listen, peer, kErrAccess, "Access violation");
        return;
    }

    size_t blksize = kDefaultBlksize;
    bool want_blksize = false;
    bool want_tsize = false;
    std::string tsize_echo;
    std::string timeout_echo;
    std::string_view key;
    std::string_view value;
    // An option pair cut short is dropped; the request itself is still good.
    while (next_field(g_rx, len, pos, key) && next_field(g_rx, len, pos, value)) {
        uint64_t v = 0;
        if (!parse_number(value, v)) {
            continue;
        }
        if (equal_nocase(key, "blksize")) {
            blksize = v < kMinBlksize ? kMinBlksize : v > kMaxBlksize ? kMaxBlksize : v;
            want_blksize = true;
        } else if (equal_nocase(key, "tsize")) {
            want_tsize = true;
            tsize_echo = std::to_string(v);
        } else if (equal_nocase(key, "timeout") && v >= 1 && v <= 255) {
            timeout_echo = std::to_string(v);
        }
    }

    std::string file_name(name);
    int fd = -1;
    if (op == kRrq) {
        // O_NONBLOCK so a FIFO cannot stall the loop; it is refused below anyway.
        fd = openat(g_root, file_name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            send_error_to(g_listen, peer, errno == ENOENT ? kErrNotFound : kErrAccess,
                          errno == ENOENT ? "File not found" : "Access violation");
            return;
        }
    } else {
        fd = openat(g_root, file_name.c_str(),
                    O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            send_error_to(
                g_listen, peer, errno == ENOSPC ? kErrDiskFull : kErrAccess,
                errno == ENOSPC ? "Disk full or allocation exceeded" : "Access violation");
            return;
        }
    }
    struct stat st {};
    if (fstat(fd, &st) < 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        send_error_to(g_listen, peer, kErrAccess, "Access violation");
        return;
    }

    uint64_t size = static_cast<uint64_t>(st.st_size);
    Transfer* t = open_transfer(peer);
    if (t == nullptr) {
        if (fd >= 0) {
            close(fd);
        }
        send_error_to(g_listen, peer, kErrUndefined, "Out of resources");
        return;
    }
    t->is_read = op == kRrq;
    t->blksize = blksize;
    t->file = fd;
    t->cap = op == kRrq ? kFileBuffer / blksize * blksize : kFileBuffer;
    t->buf = std::make_unique_for_overwrite<unsigned char[]>(t->cap);

    std::string oack("\0\x06", 2);
    if (want_blksize) {
        append_option(oack, "blksize", std::to_string(blksize));
    }
    // curl rejects a tsize of 0 as invalid, so an empty file's size is better left unsaid.
    if (want_tsize && (op == kWrq || size > 0)) {
        append_option(oack, "tsize", op == kRrq ? std::to_string(size) : tsize_echo);
    }
    if (!timeout_echo.empty()) {
        append_option(oack, "timeout", timeout_echo);
    }
    if (oack.size() > 2) {
        // block stays 0: a reader now waits for ACK 0, a writer for DATA 1.
        if (send(t->sock, oack.data(), oack.size(), 0) < 0) {
            destroy(t);
        }
        return;
    }
    bool ok = true;
    if (op == kRrq) {
        t->block = 1;
        ok = send_block(t);
    } else {
        ok = send_ack(t);
    }
    if (!ok) {
        destroy(t);
    }
}

void on_listen() {
    sockaddr_in peer{};
    socklen_t peer_len = sizeof peer;
    ssize_t n = recvfrom(g_listen, g_rx, sizeof g_rx, MSG_TRUNC, reinterpret_cast<sockaddr*>(&peer),
                         &peer_len);
    if (n < 4 || static_cast<size_t>(n) > sizeof g_rx || peer.sin_family != AF_INET) {
        return;
    }
    uint16_t op = get16(g_rx);
    if (op == kRrq || op == kWrq) {
        on_request(op, static_cast<size_t>(n), peer);
    } else if (op < kRrq || op > kOack) {
        send_error_to(g_listen, peer, kErrIllegal, "Illegal TFTP operation");
    }
    // Stray DATA, ACK, ERROR or OACK on the request port get no answer.
}

void sweep(uint64_t ticks) {
    // Backwards, because destroy() moves the last transfer into the freed slot.
    for (size_t i = g_transfers.size(); i-- > 0;) {
        Transfer* t = g_transfers[i];
        t->quiet_ticks += static_cast<unsigned>(ticks);
        if (t->quiet_ticks > kIdleTicks) {
            destroy(t);
        }
    }
}

[[noreturn]] void die(const char* what) {
    std::fprintf(stderr, "floor-server: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

bool add_fd(int fd, void* tag) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.ptr = tag;
    return epoll_ctl(g_epoll, EPOLL_CTL_ADD, fd, &ev) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    long port = -1;
    const char* root = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string_view a(argv[i]);
        if (a.starts_with("--port=")) {
            char* end = nullptr;
            port = std::strtol(argv[i] + 7, &end, 10);
            if (*end != '\0' || end == argv[i] + 7 || port < 0 || port > 65535) {
                port = -1;
                break;
            }
        } else if (a.starts_with("--root=")) {
            root = argv[i] + 7;
        } else {
            port = -1;
            break;
        }
    }
    if (port < 0 || root == nullptr || *root == '\0') {
        std::fprintf(stderr, "usage: floor-server --port=N --root=DIR\n");
        return 2;
    }

    g_root = open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (g_root < 0) {
        die(root);
    }
    // Every transfer holds a socket (and a write also its file); the hard limit costs nothing.
    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        (void)setrlimit(RLIMIT_NOFILE, &rl);
    }

    // Signals arrive as a readable descriptor, so no handler can interrupt a system call.
    sigset_t stop_set;
    sigemptyset(&stop_set);
    sigaddset(&stop_set, SIGTERM);
    sigaddset(&stop_set, SIGINT);
    if (sigprocmask(SIG_BLOCK, &stop_set, nullptr) < 0) {
        die("sigprocmask");
    }
    // A file size limit should fail the write (EFBIG, answered with ERROR 3), not kill the server.
    signal(SIGXFSZ, SIG_IGN);
    int sig_fd = signalfd(-1, &stop_set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (sig_fd < 0) {
        die("signalfd");
    }

    g_listen = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (g_listen < 0) {
        die("socket");
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(g_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0) {
        die("bind");
    }
    socklen_t addr_len = sizeof addr;
    if (getsockname(g_listen, reinterpret_cast<sockaddr*>(&addr), &addr_len) < 0) {
        die("getsockname");
    }

    // The idle sweep runs off one coarse monotonic tick a second instead of reading the clock
    // on every block.
    int tick_fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (tick_fd < 0) {
        die("timerfd_create");
    }
    itimerspec every_second{{1, 0}, {1, 0}};
    if (timerfd_settime(tick_fd, 0, &every_second, nullptr) < 0) {
        die("timerfd_settime");
    }

    g_epoll = epoll_create1(EPOLL_CLOEXEC);
    if (g_epoll < 0) {
        die("epoll_create1");
    }
    if (!add_fd(g_listen, &listen_tag) || !add_fd(sig_fd, &signal_tag) ||
        !add_fd(tick_fd, &tick_tag)) {
        die("epoll_ctl");
    }
    g_transfers.reserve(1024);

    std::printf("floor-server: listening on 127.0.0.1:%u, root %s\n", ntohs(addr.sin_port), root);
    std::fflush(stdout);

    static epoll_event events[kMaxEvents];
    bool stop = false;
    while (!stop) {
        int n = epoll_wait(g_epoll, events, kMaxEvents, kWaitMs);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            die("epoll_wait");
        }
        uint64_t ticks = 0;
        for (int i = 0; i < n; ++i) {
            void* tag = events[i].data.ptr;
            if (tag == &listen_tag) {
                on_listen();
            } else if (tag == &tick_tag) {
                if (read(tick_fd, &ticks, sizeof ticks) != sizeof ticks) {
                    ticks = 0;
                }
            } else if (tag == &signal_tag) {
                stop = true;
            } else {
                on_transfer(static_cast<Transfer*>(tag));
            }
        }
        // After the batch: a transfer swept inside it could still have an event further on.
        if (ticks > 0) {
            sweep(ticks);
        }
    }

    while (!g_transfers.empty()) {
        destroy(g_transfers.back());
    }
    close(g_epoll);
    close(tick_fd);
    close(sig_fd);
    close(g_listen);
    close(g_root);
    return 0;
}
