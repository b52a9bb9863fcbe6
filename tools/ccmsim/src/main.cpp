// ccmsim: the simulated Call Control Manager as a program. Listens on 127.0.0.1, reads control
// commands from standard input (one per line, each answered on standard output) and stops
// cleanly on "quit", at the end of input, or on SIGINT or SIGTERM.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <iostream>
#include <string>

#include "ccmsim/control.h"
#include "ccmsim/server.h"

namespace {

constexpr uint16_t kDefaultPort = 20485;

void PrintHelp() {
  std::cout << "Usage: ccmsim [--listen HOST:PORT] [--directory FILE] [--ring MS] [--verbose]\n"
               "\n"
               "A simulated Call Control Manager: a telephone system that clients register\n"
               "extensions with and place calls through.\n"
               "\n"
               "  --listen HOST:PORT  where to listen (default 127.0.0.1:"
            << kDefaultPort
            << "); HOST is 127.0.0.1 or localhost;\n"
               "                      PORT 0 takes a free port. The first line of output is\n"
               "                      \"listening on 127.0.0.1:PORT\".\n"
               "  --directory FILE    the extensions, virtual telephones and park orbits (below);\n"
               "                      without it, the built-in directory.\n"
               "  --ring MS           how long a virtual telephone rings before it answers, where\n"
               "                      its entry does not say (default 200).\n"
               "  --verbose           trace every message and connection on standard error.\n"
               "  --help              this text.\n"
               "\n"
               "Each telephone has 12 line appearances, 65 to 76.\n"
               "\n"
            << ccmsim::Directory::FormatHelp()
            << "\n"
               "Control commands, one per line on standard input; each is answered with zero or\n"
               "more lines and a last line \"ok\" or \"error: ...\":\n"
            << ccmsim::ControlCommands::Help();
}

int Fail(const std::string& message) {
  std::cerr << "ccmsim: " << message << "\n";
  return 2;
}

bool ParsePort(const std::string& text, uint16_t& port) {
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value > 65535) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

// Answers every complete line of `pending`; true when the program should stop.
bool RunLines(ccmsim::ControlCommands& control, std::string& pending) {
  for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
    const std::string line = pending.substr(0, end);
    pending.erase(0, end + 1);
    const ccmsim::ControlCommands::Outcome outcome = control.Execute(line);
    for (const std::string& out : outcome.lines) std::cout << out << "\n";
    std::cout.flush();
    if (outcome.quit) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  ccmsim::ServerOptions options;
  options.port = kDefaultPort;
  std::string directory_file;
  int ring_ms = ccmsim::kDefaultRingMs;
  bool verbose = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      PrintHelp();
      return 0;
    } else if (arg == "--listen" && has_value) {
      const std::string value = argv[++i];
      const size_t colon = value.rfind(':');
      if (colon == std::string::npos || !ParsePort(value.substr(colon + 1), options.port)) {
        return Fail("--listen wants HOST:PORT, not '" + value + "'");
      }
      options.host = value.substr(0, colon);
    } else if (arg == "--directory" && has_value) {
      directory_file = argv[++i];
    } else if (arg == "--ring" && has_value) {
      const std::string value = argv[++i];
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), ring_ms);
      if (ec != std::errc() || end != value.data() + value.size() || ring_ms < 0) {
        return Fail("--ring wants milliseconds, not '" + value + "'");
      }
    } else if (arg == "--verbose") {
      verbose = true;
    } else {
      return Fail("unknown or incomplete option '" + arg + "' (try --help)");
    }
  }
  if (!directory_file.empty()) {
    ccmsim::Result<ccmsim::Directory> directory = ccmsim::Directory::Load(directory_file);
    if (!directory.ok()) return Fail(directory.status().message());
    options.directory = directory.value();
  }
  options.directory.set_default_ring_ms(ring_ms);
  if (verbose) options.trace = [](const std::string& line) { std::cerr << line << std::endl; };

  // SIGINT and SIGTERM are read from a descriptor (blocked before the server's thread starts,
  // so that it inherits the mask); SIGPIPE must not end the program.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  const int signal_fd = signalfd(-1, &stop_signals, SFD_CLOEXEC);
  if (signal_fd < 0) return Fail("signalfd failed");

  ccmsim::Server server(std::move(options));
  if (ccmsim::Status s = server.Start(); !s.ok()) return Fail(s.message());
  std::cout << "listening on 127.0.0.1:" << server.Port() << std::endl;

  ccmsim::ControlCommands control(server);
  std::string pending;
  for (bool stop = false; !stop;) {
    pollfd fds[] = {{STDIN_FILENO, POLLIN, 0}, {signal_fd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents & POLLIN) break;
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      char chunk[4096];
      const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
      if (n > 0) {
        pending.append(chunk, static_cast<size_t>(n));
        stop = RunLines(control, pending);
      } else {
        // End of input: a last line without its line break still counts.
        if (!pending.empty()) pending += '\n';
        RunLines(control, pending);
        stop = true;
      }
    } else if (fds[0].revents & POLLNVAL) {
      stop = true;
    }
  }
  server.Stop();
  ::close(signal_fd);
  return 0;
}
