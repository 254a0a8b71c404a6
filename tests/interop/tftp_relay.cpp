// A TFTP relay on 127.0.0.1 that loses, duplicates and reorders datagrams, for end-to-end tests
// of a server under a bad path without netem.
//
// Usage: tftp_relay LISTEN_PORT SERVER_PORT SEED LOSS DUP REORDER STATS_FILE
//   LOSS, DUP, REORDER: percentages applied to every datagram in both directions (but no OACK is
//   ever doubled, see forward).
//
// A client sends its request to LISTEN_PORT; the relay forwards it to SERVER_PORT from a socket
// of the client's own. Every port the server answers from gets a port of the relay's, from
// which its datagrams reach the client and to which the client's go, so each transfer keeps
// its own transfer ID on both sides. A reordered datagram is held back and sent after the next
// one on its path (or after 50 ms). On SIGTERM, or after ten minutes at most, the relay writes
// "data=N distinct=M" to STATS_FILE: the DATA datagrams the server sent and how many distinct
// (transfer, block) pairs they carried.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

volatile sig_atomic_t stopRequested = 0;

using Clock = std::chrono::steady_clock;

int openSocket(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        std::perror("tftp_relay: bind");
        std::exit(2);
    }
    return fd;
}

void sendTo(int fd, const std::vector<std::uint8_t>& datagram, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
}

// One direction of one path: a socket, with at most one datagram (and its destination port)
// held back for reordering.
struct Path {
    int fd = -1;
    std::optional<std::pair<std::vector<std::uint8_t>, std::uint16_t>> held;
    Clock::time_point heldSince;
};

class Relay {
  public:
    Relay(std::uint16_t serverPort, unsigned seed, int loss, int dup, int reorder)
        : serverPort_(serverPort), random_(seed), loss_(loss), dup_(dup), reorder_(reorder) {}

    // Forwards with the path's impairments.
    void forward(Path& path, std::uint16_t to, std::vector<std::uint8_t> datagram) {
        if (percent() < loss_) {
            return;
        }
        if (!path.held && percent() < reorder_) {
            path.held.emplace(std::move(datagram), to);
            path.heldSince = Clock::now();
            return;
        }
        // curl takes a second OACK of an upload as leave to start its data again, dropping a
        // block; that is the client's fault, not the server's, so OACKs are never doubled.
        const bool oack = datagram.size() >= 2 && datagram[0] == 0 && datagram[1] == 6;
        const int copies = !oack && percent() < dup_ ? 2 : 1;
        for (int i = 0; i < copies; ++i) {
            sendTo(path.fd, datagram, to);
        }
        release(path);
    }

    void release(Path& path) {
        if (path.held) {
            sendTo(path.fd, path.held->first, path.held->second);
            path.held.reset();
        }
    }

    void countServerDatagram(std::uint16_t fromPort, const std::vector<std::uint8_t>& d) {
        if (d.size() >= 4 && d[0] == 0 && d[1] == 3) {
            ++data_;
            distinct_.insert({fromPort, (d[2] << 8) | d[3]});
        }
    }

    std::uint16_t serverPort_;
    std::mt19937 random_;
    int loss_;
    int dup_;
    int reorder_;
    long data_ = 0;
    std::set<std::pair<std::uint16_t, int>> distinct_;

  private:
    int percent() { return static_cast<int>(random_() % 100); }
};

// A client of the relay: the socket that speaks to the server for it, and one face per server
// port, through which it speaks to the client.
struct Session {
    std::uint16_t clientPort = 0;
    Path upstream;                                         // relay -> server
    std::map<std::uint16_t, std::unique_ptr<Path>> faces;  // server port -> relay -> client
};

std::uint16_t receive(int fd, std::vector<std::uint8_t>& out) {
    out.resize(70000);
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n =
        ::recvfrom(fd, out.data(), out.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) {
        return 0;
    }
    out.resize(static_cast<std::size_t>(n));
    return ntohs(from.sin_port);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 8) {
        std::fprintf(stderr, "usage: tftp_relay LISTEN SERVER SEED LOSS DUP REORDER STATS\n");
        return 2;
    }
    const auto listenPort = static_cast<std::uint16_t>(std::atoi(argv[1]));
    Relay relay(static_cast<std::uint16_t>(std::atoi(argv[2])),
                static_cast<unsigned>(std::atoi(argv[3])), std::atoi(argv[4]), std::atoi(argv[5]),
                std::atoi(argv[6]));
    ::signal(SIGTERM, [](int) { stopRequested = 1; });
    ::signal(SIGINT, [](int) { stopRequested = 1; });

    const int front = openSocket(listenPort);
    std::map<std::uint16_t, std::unique_ptr<Session>> sessions;  // by client port
    const auto deadline = Clock::now() + std::chrono::minutes(10);
    std::vector<std::uint8_t> datagram;

    while (!stopRequested && Clock::now() < deadline) {
        // What to watch: the front, each session's upstream, each face.
        std::vector<pollfd> fds{{front, POLLIN, 0}};
        std::vector<std::pair<Session*, Path*>> owners{{nullptr, nullptr}};
        for (auto& [port, session] : sessions) {
            fds.push_back({session->upstream.fd, POLLIN, 0});
            owners.push_back({session.get(), nullptr});
            for (auto& [serverPort, face] : session->faces) {
                fds.push_back({face->fd, POLLIN, 0});
                owners.push_back({session.get(), face.get()});
            }
        }
        ::poll(fds.data(), fds.size(), 20);

        for (std::size_t i = 0; i < fds.size(); ++i) {
            if ((fds[i].revents & POLLIN) == 0) {
                continue;
            }
            auto [session, face] = owners[i];
            const std::uint16_t from = receive(fds[i].fd, datagram);
            if (from == 0) {
                continue;
            }
            if (session == nullptr) {  // a request from a client
                auto& slot = sessions[from];
                if (!slot) {
                    slot = std::make_unique<Session>();
                    slot->clientPort = from;
                    slot->upstream.fd = openSocket(0);
                }
                relay.forward(slot->upstream, relay.serverPort_, datagram);
            } else if (face == nullptr) {  // from the server, to the client
                relay.countServerDatagram(from, datagram);
                auto& out = session->faces[from];
                if (!out) {
                    out = std::make_unique<Path>();
                    out->fd = openSocket(0);
                }
                relay.forward(*out, session->clientPort, datagram);
            } else {  // from the client, to the server port this face stands for
                for (auto& [serverPort, candidate] : session->faces) {
                    if (candidate.get() == face) {
                        relay.forward(session->upstream, serverPort, datagram);
                    }
                }
            }
        }

        // Held datagrams whose path went quiet go out late rather than never.
        const auto now = Clock::now();
        auto flush = [&](Path& path) {
            if (path.held && now - path.heldSince > std::chrono::milliseconds(50)) {
                relay.release(path);
            }
        };
        for (auto& [port, session] : sessions) {
            flush(session->upstream);
            for (auto& [serverPort, face] : session->faces) {
                flush(*face);
            }
        }
    }

    if (std::FILE* stats = std::fopen(argv[7], "w")) {
        std::fprintf(stats, "data=%ld distinct=%zu\n", relay.data_, relay.distinct_.size());
        std::fclose(stats);
    }
    return 0;
}
