// Drives `qsd lsp` over pipes with a recorded exchange and prints what it answered.
//
// usage: lsp_exchange QSD EXCHANGE.in   (the transcript goes to stdout)
//
// The input holds one message per line, sent with a Content-Length header, and these
// directives: "%wait N" waits for N more messages (1 without N), "%skip" waits for one
// and leaves it out of the transcript, "%raw TEXT" sends TEXT as it is after turning
// \r, \n, \\ and \xHH into their bytes, "%close" closes the server's input. Blank
// lines and lines beginning with '#' are passed over. In a message, ${root} stands for
// the URI of the folder that holds the exchange, and ${text:NAME} for the contents of
// the file NAME in that folder as a JSON string, and ${repeat:N:TEXT} (TEXT may hold
// braces in pairs) for TEXT written N
// times (a large document without a large file), and ${seq:N:TEXT} for TEXT written N
// times with '@' standing for 1, 2 ... N and '^' for one more. The transcript is every message the
// server sent, one per line with sorted keys, then "exit N" and the server's log.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "tools/qsd/lsp/protocol.h"
#include "tools/qsd/lsp/transport.h"

namespace {

using quillshade::qsd::lsp::Incoming;
using quillshade::qsd::Json;
using quillshade::qsd::lsp::MessageReader;

constexpr auto kPatience = std::chrono::seconds(60);  // generous: CI machines are shared

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string Expand(std::string line, const std::filesystem::path& folder) {
  const std::string root = quillshade::qsd::lsp::UriOfPath(folder.string());
  for (std::size_t at = line.find("${root}"); at != std::string::npos; at = line.find("${root}", at + root.size()))
    line.replace(at, 7, root);
  for (std::size_t at = line.find("${text:"); at != std::string::npos; at = line.find("${text:")) {
    const std::size_t end = line.find('}', at);
    const std::string text = Json(ReadFile(folder / line.substr(at + 7, end - at - 7))).dump();
    line.replace(at, end + 1 - at, text);
  }
  for (const std::string directive : {"${repeat:", "${seq:"}) {
    for (std::size_t at = line.find(directive); at != std::string::npos; at = line.find(directive)) {
      const std::size_t colon = line.find(':', at + directive.size());
      // TEXT may hold braces of its own, in pairs: the directive ends at its own '}'.
      std::size_t end = colon + 1;
      for (int depth = 0; end < line.size() && (line[end] != '}' || depth > 0); ++end)
        depth += line[end] == '{' ? 1 : line[end] == '}' ? -1 : 0;
      const std::size_t count = std::stoul(line.substr(at + directive.size(), colon - at - directive.size()));
      const std::string text = line.substr(colon + 1, end - colon - 1);
      std::string repeated;
      for (std::size_t i = 1; i <= count; ++i) {
        for (const char c : text) {
          if (directive == "${seq:" && c == '@') repeated += std::to_string(i);
          else if (directive == "${seq:" && c == '^') repeated += std::to_string(i + 1);
          else repeated += c;
        }
      }
      line.replace(at, end + 1 - at, repeated);
    }
  }
  return line;
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    if (next == 'r') out += '\r';
    else if (next == 'n') out += '\n';
    else if (next == 'x' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else out += next;
  }
  return out;
}

// Messages as they arrive from the server, for the main thread to wait on.
struct Inbox {
  std::mutex mutex;
  std::condition_variable arrived;
  std::deque<std::string> messages;
  bool ended = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: lsp_exchange QSD EXCHANGE.in\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  const std::filesystem::path exchange = argv[2];
  int toServer[2], fromServer[2], logOfServer[2];
  if (pipe(toServer) != 0 || pipe(fromServer) != 0 || pipe(logOfServer) != 0) return 1;
  const pid_t child = fork();
  if (child == 0) {
    dup2(toServer[0], 0);
    dup2(fromServer[1], 1);
    dup2(logOfServer[1], 2);
    for (const int fd : {toServer[0], toServer[1], fromServer[0], fromServer[1], logOfServer[0], logOfServer[1]}) close(fd);
    execl(argv[1], argv[1], "lsp", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(toServer[0]);
  close(fromServer[1]);
  close(logOfServer[1]);

  Inbox inbox;
  std::thread reader([&] {
    MessageReader messages(fromServer[0]);
    for (;;) {
      Incoming incoming = messages.Read();
      const std::lock_guard lock(inbox.mutex);
      if (incoming.kind == Incoming::Kind::End) {
        inbox.ended = true;
        inbox.arrived.notify_all();
        return;
      }
      // Sorted keys, so that a transcript does not depend on the order a message was written in.
      inbox.messages.push_back(incoming.kind == Incoming::Kind::Message ? nlohmann::json::parse(incoming.message.dump()).dump()
                                                                        : "unreadable: " + incoming.problem);
      inbox.arrived.notify_all();
    }
  });
  std::string log;
  std::thread logReader([&] {
    char buffer[4096];
    for (ssize_t got; (got = read(logOfServer[0], buffer, sizeof buffer)) > 0;) log.append(buffer, static_cast<std::size_t>(got));
  });

  std::string transcript;
  std::size_t taken = 0;  // messages already waited for
  int status = 0;
  const auto waitFor = [&](std::size_t count, bool record) {
    std::unique_lock lock(inbox.mutex);
    if (!inbox.arrived.wait_for(lock, kPatience, [&] { return inbox.messages.size() >= count || inbox.ended; }) ||
        inbox.messages.size() < count) {
      transcript += "timed out waiting for message " + std::to_string(count) + "\n";
      return false;
    }
    for (; taken < count; ++taken)
      if (record || taken + 1 < count) transcript += inbox.messages[taken] + "\n";
    return true;
  };
  const auto send = [&](const std::string& bytes) {
    return write(toServer[1], bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  };

  std::ifstream in(exchange);
  std::string line;
  bool open = true;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    bool ok = true;
    if (line.rfind("%wait", 0) == 0) {
      ok = waitFor(taken + (line.size() > 6 ? std::stoul(line.substr(6)) : 1), true);
    } else if (line == "%skip") {
      ok = waitFor(taken + 1, false);
    } else if (line.rfind("%raw ", 0) == 0) {
      ok = open && send(Unescape(line.substr(5)));
    } else if (line == "%close") {
      close(toServer[1]);
      open = false;
    } else {
      const std::string body = Expand(line, std::filesystem::absolute(exchange).parent_path());
      ok = open && send("Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    }
    if (!ok) break;
  }
  if (open) close(toServer[1]);
  // The server must end by itself once its input is closed.
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  int waited = 0;
  while ((waited = waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (waited == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    transcript += "the server did not end\n";
  }
  reader.join();
  logReader.join();
  {
    const std::lock_guard lock(inbox.mutex);
    for (; taken < inbox.messages.size(); ++taken) transcript += inbox.messages[taken] + "\n";
  }
  transcript += "exit " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)) + "\n";
  std::istringstream logLines(log);
  while (std::getline(logLines, line)) transcript += "log: " + line + "\n";
  // The folder's URI differs from machine to machine; the transcript names it as the input does.
  const std::string root = quillshade::qsd::lsp::UriOfPath(std::filesystem::absolute(exchange).parent_path().string());
  for (std::size_t at = transcript.find(root); at != std::string::npos; at = transcript.find(root, at))
    transcript.replace(at, root.size(), "${root}");
  std::fwrite(transcript.data(), 1, transcript.size(), stdout);
  return 0;
}
