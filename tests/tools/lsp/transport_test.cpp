// Framing: where a frame may begin, and reading on after frames that cannot be trusted.
#include "tools/qsd/lsp/transport.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <thread>

namespace quillshade::qsd::lsp {
namespace {

TEST(FindFrameStart, OnlyALengthLineBeginsAFrameAndACutOffOneIsWaitedFor) {
  std::size_t resumeAt = 0;
  // Inside a JSON string the words are text: no raw line break follows the number.
  EXPECT_EQ(FindFrameStart(R"({"text":"Content-Length: 12"})", 0, resumeAt), std::string_view::npos);
  EXPECT_EQ(FindFrameStart("xx{}content-LENGTH:  12\r\n", 0, resumeAt), 4u);
  EXPECT_EQ(FindFrameStart("Content-Length: 12\r\n", 1, resumeAt), std::string_view::npos);
  EXPECT_EQ(FindFrameStart("Content-Length: -5\r\n", 0, resumeAt), std::string_view::npos);
  EXPECT_EQ(FindFrameStart("abc Content-Len", 0, resumeAt), std::string_view::npos);
  EXPECT_EQ(resumeAt, 4u);
  EXPECT_EQ(FindFrameStart("abc Content-Length: 12", 0, resumeAt), std::string_view::npos);
  EXPECT_EQ(resumeAt, 4u);
}

std::string Frame(std::string_view body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

TEST(MessageReader, EachUntrustedFrameCostsOnlyItselfAndTheNextIsRead) {
  const std::string good = R"({"jsonrpc":"2.0","id":1,"method":"shutdown"})";
  const std::string faults[] = {
      "Content-Length: 3\r\n\r\n{}",                       // shorter than said
      "Content-Length: 2\r\n\r\n{\"a\":[1,2,3]}",          // longer than said
      "Content-Length: -5\r\n\r\n{}",                      // negative
      "Content-Length: 1000000000000\r\n\r\n{}",           // absurd
      "X-Other: 1\r\n\r\n{}",                              // no length
      "Content-Length: 5\r\n" + std::string(10000, 'h') + "\r\n\r\n",  // a header past its bound
  };
  for (const std::string& fault : faults) {
    MessageReader reader(fault + Frame(good) + Frame(good));
    int messages = 0;
    for (Incoming incoming = reader.Read(); incoming.kind != Incoming::Kind::End; incoming = reader.Read())
      if (incoming.kind == Incoming::Kind::Message) ++messages;
    EXPECT_EQ(messages, 2) << fault.substr(0, 40);
  }
}

TEST(MessageReader, ResynchronisesOnAFrameStartSplitAcrossReads) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const std::string good = R"({"jsonrpc":"2.0","id":1,"method":"shutdown"})";
  const std::string next = Frame(good);
  // The second write waits until the reader has taken the first, so each is a read of its own.
  std::thread writer([&] {
    const std::string first = "X-Other: 1\r\n\r\n{}" + next.substr(0, 5);
    EXPECT_EQ(write(pipeEnds[1], first.data(), first.size()), static_cast<ssize_t>(first.size()));
    for (int waiting = 1; waiting > 0;) {
      ASSERT_EQ(ioctl(pipeEnds[0], FIONREAD, &waiting), 0);
      std::this_thread::yield();
    }
    EXPECT_EQ(write(pipeEnds[1], next.data() + 5, next.size() - 5), static_cast<ssize_t>(next.size() - 5));
    close(pipeEnds[1]);
  });
  MessageReader reader(pipeEnds[0]);
  EXPECT_EQ(reader.Read().kind, Incoming::Kind::Malformed);
  const Incoming answered = reader.Read();
  EXPECT_EQ(answered.kind, Incoming::Kind::Message) << answered.problem;
  EXPECT_EQ(reader.Read().kind, Incoming::Kind::End);
  writer.join();
  close(pipeEnds[0]);
}

}  // namespace
}  // namespace quillshade::qsd::lsp
