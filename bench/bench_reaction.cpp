// The operator's wait on a big, busy board, seen from outside through the X server: the real
// corvane-monitor in a real window on a 10,013-channel board (323 spans of 31 channels) fed by the
// simulated engine over TCP, while the engine moves channels between idle and connected at a steady
// rate (idle, 20,000 and 100,000 messages a second). For each rate:
//  - the monitor's processor share over ten seconds (/proc/PID/stat) and the rate the engine really sent;
//  - key to menu: XTest Alt+V, timed from the key press until the server maps the menu's popup window
//    (a MapNotify on the root, read as an event);
//  - click to paint: XTest clicks on two excluded cells in turn (the traffic never touches those), each
//    timed from the press until the cell's state label shows its marked (or again unmarked) look in the
//    server's framebuffer, polled with GetImage every half millisecond;
//  - nothing lost: the engine's count of messages written on the monitor's one connection, and once
//    the traffic stops, every cell of the board (scrolled through with the mouse wheel) compared with
//    the engine's own board.
// The cells are found on the screen by their colours, so the bench follows the board's scale and zoom.
// Run: scripts/bench.sh bench_reaction, or build-bench/bench/bench_reaction [samples] (a private Xvfb
// when $DISPLAY is not set).

#include "support/BenchSupport.h"
#include "support/XDisplay.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <random>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace corvane::bench;

namespace {

const char* const kTitle = "CorvaneReactionBench";
constexpr double kCpuWindowSeconds = 10;
// A sample waits up to 3 s; after this many time-outs the window is taken to be stuck and the samples
// of that kind stop, so that a broken build ends the run in seconds.
constexpr int kMaxTimeouts = 5;
constexpr xcb_keysym_t kAltL = 0xffe9;
constexpr xcb_keysym_t kEscape = 0xff1b;
constexpr xcb_keysym_t kLetterV = 0x76;
// The state label colours of the board (0xRRGGBB) by state code; black and white are left out, as
// the window has other black and white parts and the engine's board has no stopped channels.
constexpr std::array<std::uint32_t, 8> kStateRgb{0,        0xFF0000, 0x00FF00, 0xFFFF00,
                                                 0x0000FF, 0xCCCCCC, 0x00FFFF, 0};
constexpr std::uint32_t kExcluded = 0x0000FF;

void sleepMs(double ms) {
    std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long>(ms * 1000)));
}

void fail(const std::string& why) {
    note(QStringLiteral("reaction: ") + QString::fromStdString(why));
}

// A child process that ends with the benchmark, even when the benchmark is killed.
class Child {
public:
    Child() = default;
    ~Child() { stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // stdout and stderr go to `logFile`, or to a pipe read by output() when it is empty. `keepFd` stays
    // open in the child.
    bool start(const std::vector<std::string>& argv, const std::string& logFile = {}, int keepFd = -1) {
        int in[2];
        int out[2] = {-1, -1};
        if (pipe2(in, O_CLOEXEC) != 0)
            return false;
        const int log =
            logFile.empty() ? -1 : open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (logFile.empty() ? pipe2(out, O_CLOEXEC) != 0 : log < 0)
            return false;
        const pid_t parent = getpid();
        m_pid = fork();
        if (m_pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(127);
            dup2(in[0], 0);
            dup2(log >= 0 ? log : out[1], 1);
            dup2(log >= 0 ? log : out[1], 2);
            if (keepFd >= 0)
                fcntl(keepFd, F_SETFD, 0);
            std::vector<char*> args;
            for (const std::string& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        close(in[0]);
        m_in = in[1];
        if (log >= 0)
            close(log);
        if (out[1] >= 0)
            close(out[1]);
        m_out = out[0];
        if (m_out >= 0)
            fcntl(m_out, F_SETFL, O_NONBLOCK);
        return m_pid > 0;
    }

    // Closes stdin, asks the process to end, and kills it when it has not after graceMs.
    void stop(double graceMs = 3000) {
        if (m_in >= 0)
            close(m_in);
        m_in = -1;
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            const double until = nowMs() + graceMs;
            int status = 0;
            while (waitpid(m_pid, &status, WNOHANG) == 0) {
                if (nowMs() > until) {
                    kill(m_pid, SIGKILL);
                    waitpid(m_pid, &status, 0);
                    break;
                }
                sleepMs(10);
            }
        }
        m_pid = -1;
        if (m_out >= 0)
            close(m_out);
        m_out = -1;
    }

    pid_t pid() const { return m_pid; }
    bool running() const {
        int status = 0;
        return m_pid > 0 && waitpid(m_pid, &status, WNOHANG) == 0;
    }
    void write(const std::string& line) const {
        if (m_in >= 0)
            static_cast<void>(::write(m_in, line.data(), line.size()));
    }
    // What the child printed since the last call.
    std::string output() const {
        std::string text;
        char buffer[65536];
        for (ssize_t n; m_out >= 0 && (n = read(m_out, buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<std::size_t>(n));
        return text;
    }
    int outputFd() const { return m_out; }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
};

// The simulated engine and its control lines.
class Engine {
public:
    bool start(const std::vector<std::string>& args) {
        std::vector<std::string> argv{CORVANE_ENGINE_SIM, "--udp-port", "0",
                                      "--tcp-port",       "0",          "--exit-on-stdin-eof"};
        argv.insert(argv.end(), args.begin(), args.end());
        if (!m_child.start(argv))
            return false;
        const auto line = waitLine([](const std::string& l) { return l.rfind("listening ", 0) == 0; }, 10000);
        if (!line)
            return false;
        unsigned udp = 0;
        unsigned tcp = 0;
        if (std::sscanf(line->c_str(), "listening udp=%u tcp=%u", &udp, &tcp) != 2)
            return false;
        m_tcpPort = static_cast<std::uint16_t>(tcp);
        return true;
    }
    void stop() {
        m_child.write("quit\n");
        m_child.stop();
    }
    std::uint16_t tcpPort() const { return m_tcpPort; }

    // The first line from index `from` on that matches, waiting up to timeoutMs.
    std::optional<std::string> waitLine(const std::function<bool(const std::string&)>& wanted,
                                        double timeoutMs, std::size_t from = 0) {
        const double until = nowMs() + timeoutMs;
        for (std::size_t i = from;;) {
            read();
            for (; i < m_lines.size(); ++i) {
                if (wanted(m_lines[i]))
                    return m_lines[i];
            }
            if (nowMs() > until || !m_child.running())
                return std::nullopt;
            pollfd fd{m_child.outputFd(), POLLIN, 0};
            poll(&fd, 1, 20);
        }
    }
    bool control(const std::string& line) {
        read();
        const std::size_t from = m_lines.size();
        m_child.write(line + "\n");
        const auto answer = waitLine(
            [&](const std::string& l) {
                return l == "# done " + line || (l.rfind("# error", 0) == 0 && l.size() > line.size() &&
                                                 l.compare(l.size() - line.size(), line.size(), line) == 0);
            },
            10000, from);
        return answer && answer->rfind("# done ", 0) == 0;
    }
    // Messages written so far on each open TCP connection, by the connection's number.
    std::optional<std::map<int, long long>> sent() {
        read();
        const std::size_t from = m_lines.size();
        if (!control("counts"))
            return std::nullopt;
        std::map<int, long long> out;
        for (std::size_t i = from; i < m_lines.size(); ++i) {
            const std::string& l = m_lines[i];
            const auto c = l.find(" connection=");
            const auto m = l.find(" messages=");
            if (l.rfind("# tcp sent ", 0) == 0 && c != std::string::npos && m != std::string::npos)
                out[std::atoi(l.c_str() + c + 12)] = std::atoll(l.c_str() + m + 10);
        }
        return out;
    }

private:
    void read() {
        m_partial += m_child.output();
        for (std::size_t end; (end = m_partial.find('\n')) != std::string::npos;) {
            m_lines.push_back(m_partial.substr(0, end));
            m_partial.erase(0, end + 1);
        }
    }

    Child m_child;
    std::string m_partial;
    std::vector<std::string> m_lines;
    std::uint16_t m_tcpPort = 0;
};

// The engine's own board, asked for on a connection of our own once the traffic has stopped:
// channel id to state code.
std::optional<std::map<int, int>> engineBoard(std::uint16_t port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return std::nullopt;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::map<int, int> board;
    bool complete = false;
    if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        const char ask[] = "UUUUU|SSSSS|";
        if (send(s, ask, sizeof ask - 1, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof ask - 1)) {
            std::string pending;
            const double until = nowMs() + 10000;
            char buffer[65536];
            while (!complete && nowMs() < until) {
                pollfd fd{s, POLLIN, 0};
                if (poll(&fd, 1, 100) <= 0)
                    continue;
                const ssize_t n = recv(s, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                pending.append(buffer, static_cast<std::size_t>(n));
                std::size_t start = 0;
                for (std::size_t end; (end = pending.find('|', start)) != std::string::npos;
                     start = end + 1) {
                    const std::string message = pending.substr(start, end - start);
                    int id = 0;
                    int group = 0;
                    int state = 0;
                    int peer = 0;
                    if (std::sscanf(message.c_str(), "t%d,%d,%d,%d", &id, &group, &state, &peer) == 4)
                        board[id] = state;
                    else if (!message.empty() && message[0] == 'S')
                        complete = true;
                }
                pending.erase(0, start);
            }
        }
    }
    close(s);
    if (!complete)
        return std::nullopt;
    return board;
}

// Processor time of a process so far, in seconds (user and system).
std::optional<double> cpuSecondsOf(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    // After the name: state (3) ... utime (14) and stime (15).
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i >= 14)
            ticks += std::atof(field.c_str());
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// One state label on the screen (window coordinates) and the channel it shows.
struct Cell {
    int id = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    std::uint32_t rgb = 0;
};

bool isStateRgb(std::uint32_t rgb) {
    return rgb != 0 && std::find(kStateRgb.begin(), kStateRgb.end(), rgb) != kStateRgb.end();
}

// The state labels in a grab of the window: squares of one state colour (a mark or the connected
// marker may sit inside), all of the most common size. Rows from the top are spans 1, 2, ...; a row
// counts only while every row above it showed all its channels.
std::vector<Cell> findCells(const Image& image) {
    struct Blob {
        int x0, y0, x1, y1;
        long count;
        std::uint32_t rgb;
    };
    std::vector<Blob> blobs;
    std::vector<std::uint8_t> seen(image.rgb.size(), 0);
    std::vector<std::pair<int, int>> stack;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) +
                                   static_cast<std::size_t>(x);
            if (seen[at] || !isStateRgb(image.rgb[at]))
                continue;
            Blob b{x, y, x, y, 0, image.rgb[at]};
            stack.assign(1, {x, y});
            seen[at] = 1;
            while (!stack.empty()) {
                const auto [px, py] = stack.back();
                stack.pop_back();
                ++b.count;
                b.x0 = std::min(b.x0, px);
                b.x1 = std::max(b.x1, px);
                b.y0 = std::min(b.y0, py);
                b.y1 = std::max(b.y1, py);
                for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
                    const int nx = px + dx;
                    const int ny = py + dy;
                    if (nx < 0 || ny < 0 || nx >= image.width || ny >= image.height)
                        continue;
                    const std::size_t n =
                        static_cast<std::size_t>(ny) * static_cast<std::size_t>(image.width) +
                        static_cast<std::size_t>(nx);
                    if (!seen[n] && image.rgb[n] == b.rgb) {
                        seen[n] = 1;
                        stack.emplace_back(nx, ny);
                    }
                }
            }
            const int w = b.x1 - b.x0 + 1;
            const int h = b.y1 - b.y0 + 1;
            if (w >= 4 && w <= 64 && std::abs(w - h) <= 1 && b.count * 2 >= static_cast<long>(w) * h)
                blobs.push_back(b);
        }
    }
    std::map<std::pair<int, int>, int> sizes;
    for (const Blob& b : blobs)
        ++sizes[{b.x1 - b.x0 + 1, b.y1 - b.y0 + 1}];
    if (sizes.empty())
        return {};
    const auto common = std::max_element(sizes.begin(), sizes.end(), [](const auto& a, const auto& b) {
                            return a.second < b.second;
                        })->first;
    std::vector<Blob> labels;
    for (const Blob& b : blobs) {
        if (b.x1 - b.x0 + 1 == common.first && b.y1 - b.y0 + 1 == common.second)
            labels.push_back(b);
    }
    std::sort(labels.begin(), labels.end(),
              [](const Blob& a, const Blob& b) { return a.y0 != b.y0 ? a.y0 < b.y0 : a.x0 < b.x0; });
    std::vector<Cell> cells;
    int span = 0;
    for (std::size_t i = 0; i < labels.size();) {
        std::size_t end = i;
        while (end < labels.size() && labels[end].y0 == labels[i].y0)
            ++end;
        if (end - i != static_cast<std::size_t>(kPerSpan))
            break;
        ++span;
        for (std::size_t k = i; k < end; ++k) {
            const Blob& b = labels[k];
            cells.push_back({span * 100 + static_cast<int>(k - i) + 1, b.x0, b.y0, b.x1 - b.x0 + 1,
                             b.y1 - b.y0 + 1, b.rgb});
        }
        i = end;
    }
    return cells;
}

struct Stats {
    std::vector<double> ms;
    int timeouts = 0;
    double percentile(double p) const {
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        if (v.empty())
            return 0;
        const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(v.size())));
        return v[std::clamp<std::size_t>(rank, 1, v.size()) - 1];
    }
    QString text() const {
        if (ms.empty())
            return QStringLiteral("no sample");
        QString t = QStringLiteral("%1 / %2 / %3 ms")
                        .arg(percentile(50), 0, 'f', 1)
                        .arg(percentile(99), 0, 'f', 1)
                        .arg(percentile(100), 0, 'f', 1);
        if (timeouts > 0)
            t += QStringLiteral(", %1 timed out").arg(timeouts);
        return t;
    }
};

// The monitor's window and the X server around it.
class Screen {
public:
    Screen(XDisplay& x, xcb_window_t window) : m_x(x), m_window(window) {}
    xcb_window_t window() const { return m_window; }

    Image grab() {
        const auto g = m_x.geometry(m_window);
        return g ? m_x.pixels(m_window, 0, 0, g->width, g->height) : Image{};
    }
    Image label(const Cell& c) { return m_x.pixels(m_window, c.x, c.y, c.width, c.height); }
    // Waits until the label shows `look`; the time it was seen.
    std::optional<double> waitLabel(const Cell& c, const Image& look, double timeoutMs) {
        const double until = nowMs() + timeoutMs;
        do {
            if (label(c) == look)
                return nowMs();
            sleepMs(0.5);
        } while (nowMs() < until);
        return std::nullopt;
    }

private:
    XDisplay& m_x;
    xcb_window_t m_window;
};

// Alt+V, timed to the map of the menu's popup; Escape closes it again.
Stats keyToMenu(XDisplay& x, int samples, std::mt19937& random) {
    Stats s;
    const xcb_keycode_t alt = x.keycode(kAltL);
    const xcb_keycode_t v = x.keycode(kLetterV);
    const xcb_keycode_t escape = x.keycode(kEscape);
    for (int i = 0; i < samples; ++i) {
        x.drain();
        x.key(alt, true);
        const double pressed = nowMs();
        x.key(v, true);
        const auto shown =
            x.waitFor([](const WindowChange& c) { return c.mapped && c.overrideRedirect; }, 3000);
        x.key(v, false);
        x.key(alt, false);
        if (!shown) {
            if (++s.timeouts == kMaxTimeouts)
                break;
            x.key(escape, true);
            x.key(escape, false);
            sleepMs(200);
            continue;
        }
        s.ms.push_back(shown->atMs - pressed);
        x.key(escape, true);
        x.key(escape, false);
        const xcb_window_t popup = shown->window;
        x.waitFor([&](const WindowChange& c) { return !c.mapped && c.window == popup; }, 3000);
        sleepMs(std::uniform_real_distribution<double>(2, 20)(random));
    }
    return s;
}

// A cell to click and how its state label looks with the pointer on it, unmarked and marked.
struct Target {
    Cell cell;
    std::array<Image, 2> look;
    bool marked = false;
};

void pointAt(XDisplay& x, Screen& screen, const Cell& cell) {
    if (const auto origin = x.geometry(screen.window())) {
        x.moveTo(origin->x + cell.x + cell.width / 2, origin->y + cell.y + cell.height / 2);
        x.sync();
    }
}

void click(XDisplay& x) {
    x.button(1, true);
    x.button(1, false);
}

// Learns the looks of two cells while the engine is quiet. The pointer goes from one cell to the
// other between clicks, as the toolkit would take two clicks on one spot for a double click.
bool learnLooks(XDisplay& x, Screen& screen, std::array<Target, 2>& targets) {
    for (int marked = 0; marked < 2; ++marked) {
        for (Target& t : targets) {
            pointAt(x, screen, t.cell);
            sleepMs(300);
            if (marked)
                click(x);
            sleepMs(marked ? 700 : 300);
            t.look[static_cast<std::size_t>(marked)] = screen.label(t.cell);
        }
    }
    for (Target& t : targets) {
        pointAt(x, screen, t.cell);
        sleepMs(100);
        click(x);
        if (t.look[0].rgb.empty() || t.look[0] == t.look[1] || !screen.waitLabel(t.cell, t.look[0], 3000))
            return false;
    }
    return true;
}

// Clicks the two cells in turn, each click timed from the press to the cell's new look (marked, then
// unmarked again).
Stats clickToPaint(XDisplay& x, Screen& screen, std::array<Target, 2>& targets, int samples,
                   std::mt19937& random) {
    Stats s;
    for (int i = 0; i < samples; ++i) {
        Target& t = targets[static_cast<std::size_t>(i % 2)];
        pointAt(x, screen, t.cell);
        const Image& before = t.look[t.marked ? 1 : 0];
        const Image& after = t.look[t.marked ? 0 : 1];
        if (!screen.waitLabel(t.cell, before, 3000)) {
            fail("a clicked cell did not show its expected look; click samples stopped");
            break;
        }
        const double pressed = nowMs();
        click(x);
        if (const auto painted = screen.waitLabel(t.cell, after, 3000)) {
            s.ms.push_back(*painted - pressed);
            t.marked = !t.marked;
        } else if (screen.label(t.cell) == after) {
            ++s.timeouts; // painted, but only after the time-out
            t.marked = !t.marked;
        } else if (++s.timeouts == kMaxTimeouts) {
            fail("the clicked cells stopped changing; click samples stopped");
            break;
        }
        sleepMs(std::uniform_real_distribution<double>(2, 20)(random));
    }
    // Both cells unmarked for the next rate.
    for (Target& t : targets) {
        if (t.marked) {
            pointAt(x, screen, t.cell);
            click(x);
            t.marked = !screen.waitLabel(t.cell, t.look[0], 3000);
            sleepMs(50);
        }
    }
    return s;
}

bool sameCells(const std::vector<Cell>& a, const std::vector<Cell>& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const Cell& p, const Cell& q) {
               return p.id == q.id && p.rgb == q.rgb && p.x == q.x && p.y == q.y;
           });
}

// The cells on the screen once they have not changed for quietMs (the board is complete, or the
// monitor has drained what the engine sent), and when they last changed; nothing after timeoutMs.
struct Settled {
    std::vector<Cell> cells;
    double lastChangeMs = 0;
};
std::optional<Settled> settledCells(Screen& screen, double quietMs, double timeoutMs) {
    Settled s{findCells(screen.grab()), nowMs()};
    const double until = s.lastChangeMs + timeoutMs;
    while (nowMs() < until) {
        sleepMs(100);
        std::vector<Cell> now = findCells(screen.grab());
        if (!sameCells(now, s.cells)) {
            s = {std::move(now), nowMs()};
        } else if (!now.empty() && nowMs() - s.lastChangeMs >= quietMs) {
            return s;
        }
    }
    return std::nullopt;
}

// How many of the cells on the screen show another state a quarter of a second later: the stream
// reaches the screen while it flows, not only once it stops.
std::size_t cellsChanging(Screen& screen) {
    const std::vector<Cell> before = findCells(screen.grab());
    sleepMs(250);
    const std::vector<Cell> after = findCells(screen.grab());
    std::size_t changed = 0;
    for (std::size_t i = 0; i < std::min(before.size(), after.size()); ++i)
        changed += before[i].id == after[i].id && before[i].rgb != after[i].rgb;
    return changed;
}

// The rows of a page of cells are spans first, first+1, ... for the `first` that agrees best with
// the engine's board (a scrolled board shows no span numbers that the bench could read); how many
// cells of each of those spans disagree.
std::map<int, std::size_t> wrongBySpan(const std::vector<Cell>& cells, const std::map<int, int>& board) {
    const int rows = static_cast<int>(cells.size()) / kPerSpan;
    std::map<int, std::size_t> best;
    std::size_t bestWrong = cells.size() + 1;
    for (int offset = 0; rows > 0 && offset + rows <= kSpans; ++offset) {
        std::map<int, std::size_t> wrong;
        std::size_t total = 0;
        for (const Cell& c : cells) {
            const int span = c.id / 100 + offset;
            const auto state = board.find(span * 100 + c.id % 100);
            const bool bad =
                state == board.end() || kStateRgb[static_cast<std::size_t>(state->second & 7)] != c.rgb;
            wrong[span] += bad;
            total += bad;
        }
        if (total < bestWrong) {
            bestWrong = total;
            best = std::move(wrong);
        }
    }
    return best;
}

void wheel(XDisplay& x, bool down, int notches) {
    for (int i = 0; i < notches; ++i) {
        x.button(down ? 5 : 4, true);
        x.button(down ? 5 : 4, false);
    }
    x.sync();
}

// Scrolls the board from top to bottom with the mouse wheel, checking every span it shows against
// the engine's board, then back to the top where the clicked cells are. Each span counts once.
std::map<int, std::size_t> checkAllSpans(XDisplay& x, Screen& screen, const Cell& over,
                                         const std::vector<Cell>& top, const std::map<int, int>& board) {
    std::map<int, std::size_t> spans;
    pointAt(x, screen, over);
    int lastFirst = -1;
    for (int page = 0; page < 80 && static_cast<int>(spans.size()) < kSpans; ++page) {
        const auto shown = settledCells(screen, 250, 5000);
        if (!shown)
            break;
        const auto wrong = wrongBySpan(shown->cells, board);
        if (wrong.empty() || wrong.begin()->first == lastFirst)
            break; // the wheel moves the board no further
        lastFirst = wrong.begin()->first;
        spans.insert(wrong.begin(), wrong.end());
        wheel(x, true, 10);
    }
    // Back up until the wheel moves it no more: rows fall on the same places every few pages.
    std::vector<Cell> last;
    for (int i = 0; i < 40; ++i) {
        wheel(x, false, 40);
        const auto shown = settledCells(screen, 250, 5000);
        if (!shown || sameCells(shown->cells, last))
            break;
        last = shown->cells;
    }
    if (last.empty() || last.front().y != top.front().y)
        fail("the board did not scroll back to its top");
    return spans;
}

struct Phase {
    int rate = 0;
    std::optional<double> cpuPercent;
    std::optional<double> sentRate;
    Stats key;
    Stats click;
    long long sent = 0;
    bool oneConnection = true;
    std::size_t cellsChecked = 0;
    std::size_t cellsWrong = 0;
    bool boardRead = false;
    std::size_t cellsOnScreen = 0;
    std::size_t spansChecked = 0;
    std::size_t cellsChangingNow = 0;
    std::optional<double> drainMs; // from the stream's end to the last change on the screen
};

QString rateName(int rate) {
    return rate == 0 ? QStringLiteral("idle") : QStringLiteral("%1 msg/s").arg(grouped(rate));
}

class Bench {
public:
    Bench(XDisplay& x, Engine& engine, Child& monitor, Screen& screen, std::array<Target, 2> targets,
          int connection, int samples)
        : m_x(x), m_engine(engine), m_monitor(monitor), m_screen(screen), m_targets(std::move(targets)),
          m_connection(connection), m_samples(samples) {}

    Phase run(int rate) {
        Phase p;
        p.rate = rate;
        if (!m_monitor.running())
            return p;
        const auto first = m_engine.sent();
        if (!first || !m_engine.control("traffic " + std::to_string(rate)))
            return p;
        sleepMs(1000);
        if (rate > 0) {
            const auto cpu0 = cpuSecondsOf(m_monitor.pid());
            const auto sent0 = m_engine.sent();
            const double t0 = nowMs();
            sleepMs(kCpuWindowSeconds * 1000);
            const auto cpu1 = cpuSecondsOf(m_monitor.pid());
            const auto sent1 = m_engine.sent();
            const double seconds = (nowMs() - t0) / 1000;
            if (cpu0 && cpu1)
                p.cpuPercent = 100 * (*cpu1 - *cpu0) / seconds;
            if (sent0 && sent1 && sent0->count(m_connection) && sent1->count(m_connection))
                p.sentRate = static_cast<double>(sent1->at(m_connection) - sent0->at(m_connection)) / seconds;
        }
        p.cellsChangingNow = cellsChanging(m_screen);
        // The pointer off the window, so that no tool tip is taken for the menu.
        m_x.moveTo(m_x.screen().width - 1, m_x.screen().height - 1);
        m_x.focus(m_screen.window());
        p.key = keyToMenu(m_x, m_samples, m_random);
        p.click = clickToPaint(m_x, m_screen, m_targets, m_samples, m_random);
        m_engine.control("traffic 0");
        const double stopped = nowMs();
        const auto last = m_engine.sent();
        p.oneConnection = last && first->count(m_connection) && last->count(m_connection);
        if (p.oneConnection)
            p.sent = last->at(m_connection) - first->at(m_connection);
        if (rate > 0)
            checkBoard(p, stopped);
        return p;
    }

private:
    // Every cell of the board against the engine's board, once the monitor has drained the stream.
    void checkBoard(Phase& p, double stopped) {
        const auto settled = settledCells(m_screen, 600, 15000);
        const auto board = engineBoard(m_engine.tcpPort());
        if (!settled || !board)
            return;
        p.boardRead = true;
        p.drainMs = std::max(0.0, settled->lastChangeMs - stopped);
        p.cellsOnScreen = settled->cells.size();
        const auto spans = checkAllSpans(m_x, m_screen, m_targets[0].cell, settled->cells, *board);
        p.spansChecked = spans.size();
        p.cellsChecked = spans.size() * static_cast<std::size_t>(kPerSpan);
        for (const auto& [span, wrong] : spans)
            p.cellsWrong += wrong;
    }

    XDisplay& m_x;
    Engine& m_engine;
    Child& m_monitor;
    Screen& m_screen;
    std::array<Target, 2> m_targets;
    int m_connection;
    int m_samples;
    std::mt19937 m_random{7};
};

// A private X server when none is named; its display number comes back through a pipe.
bool startXvfb(Child& xvfb) {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        return false;
    const bool started = xvfb.start({"/usr/bin/Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0",
                                     "1280x1024x24", "-nolisten", "tcp"},
                                    "/dev/null", ready[1]);
    close(ready[1]);
    std::string number;
    pollfd fd{ready[0], POLLIN, 0};
    char c = 0;
    while (started && poll(&fd, 1, 10000) > 0 && read(ready[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(ready[0]);
    if (number.empty())
        return false;
    setenv("DISPLAY", (":" + number).c_str(), 1);
    return true;
}

void report(const std::vector<Phase>& phases, int samples) {
    std::printf("\n  %-14s %-26s %-26s %-18s %s\n", "engine traffic", "key to menu p50/p99/max",
                "click to paint p50/p99/max", "monitor CPU", "sent (measured rate)");
    for (const Phase& p : phases) {
        const QString cpu = p.cpuPercent ? QStringLiteral("%1 % of a core").arg(*p.cpuPercent, 0, 'f', 1)
                                         : QStringLiteral("-");
        const QString sent = p.sentRate ? QStringLiteral("%1 (%2 msg/s)")
                                              .arg(grouped(static_cast<double>(p.sent)), grouped(*p.sentRate))
                                        : grouped(static_cast<double>(p.sent));
        std::printf("  %-14s %-26s %-26s %-18s %s\n", qPrintable(rateName(p.rate)), qPrintable(p.key.text()),
                    qPrintable(p.click.text()), qPrintable(cpu), qPrintable(sent));
    }
    std::printf("\n");
    std::fflush(stdout);
    for (const Phase& p : phases) {
        if (p.rate == 0)
            continue;
        note(QStringLiteral(
                 "reaction: at %1, %2 of the %3 cells on the screen changed within 0.25 s while the "
                 "stream ran; the screen's last change came %4 ms after it stopped")
                 .arg(rateName(p.rate))
                 .arg(p.cellsChangingNow)
                 .arg(p.cellsOnScreen)
                 .arg(p.drainMs ? QString::number(*p.drainMs, 'f', 0) : QStringLiteral("?")));
    }
    for (const Phase& p : phases) {
        const QString board = QStringLiteral("10,013-channel board, %1 (p50 / p99 / max of %2)")
                                  .arg(rateName(p.rate))
                                  .arg(samples);
        const bool big = p.rate == 20000;
        const bool paint = p.rate == 100000;
        figure(
            QStringLiteral("Key to menu: Alt+V to the popup mapped, %1").arg(board), p.key.text(),
            big ? QStringLiteral("p99 < 50 ms") : QString(),
            big ? std::optional<bool>(p.key.timeouts == 0 && !p.key.ms.empty() && p.key.percentile(99) < 50)
                : std::nullopt);
        const QString clickTarget = paint ? QStringLiteral("p99 <= 16.7 ms")
                                    : big ? QStringLiteral("p99 < 50 ms")
                                          : QString();
        const double limit = paint ? 16.7 : 50;
        figure(QStringLiteral("Click to paint: a cell clicked to its new pixels, %1").arg(board),
               p.click.text(), clickTarget,
               clickTarget.isEmpty() ? std::nullopt
                                     : std::optional<bool>(p.click.timeouts == 0 && !p.click.ms.empty() &&
                                                           p.click.percentile(99) <= limit));
        if (p.rate > 0) {
            const double cpuLimit = paint ? 25 : 10;
            figure(QStringLiteral("Monitor CPU over %1 s, 10,013-channel board, %2 (engine sent %3 msg/s)")
                       .arg(kCpuWindowSeconds)
                       .arg(rateName(p.rate))
                       .arg(p.sentRate ? grouped(*p.sentRate) : QStringLiteral("?")),
                   p.cpuPercent ? QStringLiteral("%1 % of a core").arg(*p.cpuPercent, 0, 'f', 1)
                                : QStringLiteral("not read"),
                   QStringLiteral("<= %1 % of a core").arg(cpuLimit),
                   p.cpuPercent ? std::optional<bool>(*p.cpuPercent <= cpuLimit) : std::nullopt);
            const bool lost = !p.oneConnection || !p.boardRead || p.cellsWrong > 0 ||
                              p.spansChecked < static_cast<std::size_t>(kSpans);
            figure(QStringLiteral("Nothing lost at %1: sent on the monitor's TCP connection; every cell, "
                                  "scrolled into view, against the engine's board")
                       .arg(rateName(p.rate)),
                   QStringLiteral("%1 sent%2; %3 cells (%4 of %5 spans) checked, %6 wrong")
                       .arg(grouped(static_cast<double>(p.sent)))
                       .arg(p.oneConnection ? QString() : QStringLiteral(", the connection changed"))
                       .arg(p.boardRead ? grouped(static_cast<double>(p.cellsChecked)) : QStringLiteral("no"))
                       .arg(p.spansChecked)
                       .arg(kSpans)
                       .arg(p.cellsWrong),
                   QStringLiteral("none lost, no cell wrong"), !lost);
        }
    }
}

int run(int samples, const std::filesystem::path& folder) {
    Engine engine;
    if (!engine.start({"--spans", std::to_string(kSpans), "--channels-per-span", std::to_string(kPerSpan),
                       "--groups", std::to_string(kGroups), "--traffic-kind", "flip", "--traffic-rate", "0",
                       "--alarm-rate", "0"})) {
        fail("the simulated engine did not start");
        return 1;
    }
    const std::string ini = (folder / "monitor.ini").string();
    {
        std::ofstream out(ini, std::ios::binary);
        out << "TCP, 1\r\nENG_LOC_PORT, " << engine.tcpPort() << "\r\nENG_LOC_IP, \"127.0.0.1\"\r\nTITLE, \""
            << kTitle << "\"\r\nGROUP_COLOR, 3\r\nWD_PROGRESS, 1\r\n";
    }
    XDisplay x;
    if (!x.ok() || !x.canSendInput()) {
        fail("no X server with the test extension");
        return 1;
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    Child monitor;
    const std::string log = (folder / "monitor.log").string();
    if (!monitor.start({CORVANE_MONITOR, ini}, log)) {
        fail("cannot start " CORVANE_MONITOR);
        return 1;
    }
    const auto shown = x.waitFor(
        [&](const WindowChange& c) { return c.mapped && x.titleOf(c.window).startsWith(kTitle); }, 20000);
    if (!shown) {
        fail("no window titled " + std::string(kTitle) + " within 20 s; see the monitor's output above");
        std::ifstream in(log);
        std::printf("%s", std::string(std::istreambuf_iterator<char>(in), {}).c_str());
        return 1;
    }
    Screen screen(x, shown->window);
    // The monitor completes its board once a relay timer tick has passed without a new cell (5 to
    // 10 s), and then sends its first ping; the window takes its final size after that.
    if (!engine.waitLine(
            [](const std::string& l) { return l.size() > 2 && l.compare(l.size() - 2, 2, " W") == 0; },
            30000)) {
        fail("the monitor did not complete its board within 30 s");
        return 1;
    }
    const auto settled = settledCells(screen, 1500, 20000);
    const std::vector<Cell> cells = settled ? settled->cells : std::vector<Cell>{};
    std::array<Target, 2> targets;
    std::size_t found = 0;
    for (const Cell& c : cells) {
        if (c.rgb == kExcluded && found < 2 && (found == 0 || c.y != targets[0].cell.y))
            targets[found++].cell = c;
    }
    const auto connections = engine.sent();
    if (found < 2 || !connections || connections->size() != 1) {
        fail("the board did not show two excluded cells in two rows to click, or the monitor had no "
             "connection");
        return 1;
    }
    if (!learnLooks(x, screen, targets)) {
        fail("a click did not mark or unmark a cell with the engine quiet");
        return 1;
    }
    note(QStringLiteral(
             "reaction: %1 cells found on the screen (%2x%3 px state labels); clicking channels %4 and %5")
             .arg(cells.size())
             .arg(targets[0].cell.width)
             .arg(targets[0].cell.height)
             .arg(targets[0].cell.id)
             .arg(targets[1].cell.id));

    Bench bench(x, engine, monitor, screen, targets, connections->begin()->first, samples);
    std::vector<Phase> phases;
    for (int rate : {0, 20000, 100000}) {
        const double began = nowMs();
        phases.push_back(bench.run(rate));
        if (!monitor.running())
            break;
        note(QStringLiteral("reaction: %1 took %2 s")
                 .arg(rateName(rate))
                 .arg((nowMs() - began) / 1000, 0, 'f', 1));
    }
    report(phases, samples);
    const bool lived = monitor.running();
    if (!lived)
        fail("the monitor ended during the run");
    engine.stop();
    monitor.stop();
    return lived ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    const int samples = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    std::signal(SIGPIPE, SIG_IGN);
    // Whatever hangs, the run ends (and its children with it) instead of holding the machine.
    alarm(600);
    Child xvfb;
    if (!std::getenv("DISPLAY") && !startXvfb(xvfb)) {
        fail("no DISPLAY and no Xvfb could be started");
        return 1;
    }
    char pattern[] = "/tmp/corvane-reaction-XXXXXX";
    if (!mkdtemp(pattern)) {
        fail("cannot make a temporary folder");
        return 1;
    }
    const std::filesystem::path folder(pattern);
    const int status = run(samples, folder);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return status;
}
