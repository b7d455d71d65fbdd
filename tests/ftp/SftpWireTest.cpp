// The SFTP packet code against what a server could send: packets split anywhere, fields that
// run past their packet, counts that lie, packets too large to take.

#include "ftp/sftp/SftpWire.h"

#include <gtest/gtest.h>

using namespace tidewick::ftp::sftp;

namespace {

std::string u32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

std::string str(const std::string& s) { return u32(static_cast<std::uint32_t>(s.size())) + s; }

// A reply packet: length, type, id, body.
std::string packet(Packet type, std::uint32_t id, const std::string& body) {
  const std::string inner = std::string(1, static_cast<char>(type)) + u32(id) + body;
  return u32(static_cast<std::uint32_t>(inner.size())) + inner;
}

Reply only(const std::string& bytes) {
  PacketReader reader;
  reader.feed(bytes.data(), bytes.size());
  std::optional<Reply> reply = reader.next();
  EXPECT_TRUE(reply.has_value());
  EXPECT_TRUE(reader.empty());
  return reply.value_or(Reply{});
}

} // namespace

TEST(SftpWire, PacketsSplitAnywhereComeOutWholeAndInOrder) {
  // A name with a size above 4 GiB, then a status: fed one byte at a time.
  const std::string attrs = u32(0x1 | 0x4 | 0x8) + u32(1) + u32(0x2345) + u32(0100644) + u32(10) + u32(1700000000);
  const std::string bytes = packet(Packet::Name, 7, u32(1) + str("big.iso") + str("-rw-r--r-- big.iso") + attrs) +
                            packet(Packet::Status, 8, u32(1) + str("End of file") + str(""));
  PacketReader reader;
  std::vector<Reply> replies;
  for (char c : bytes) {
    reader.feed(&c, 1);
    while (std::optional<Reply> r = reader.next()) replies.push_back(*r);
  }
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[0].id, 7u);
  const std::vector<NameEntry> names = parseNames(replies[0]);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].name, "big.iso");
  EXPECT_EQ(names[0].attributes.size, 0x100002345ull);
  EXPECT_EQ(names[0].attributes.mtime, 1700000000u);
  EXPECT_FALSE(names[0].attributes.isFolder());
  EXPECT_EQ(replies[1].id, 8u);
  EXPECT_EQ(parseStatus(replies[1]).code, StatusCode::Eof);
}

TEST(SftpWire, RepliesThatLieAboutTheirSizeAreRefusedNotReadPastTheirEnd) {
  // A string longer than its packet, a name count far beyond what the packet holds, extended
  // attribute pairs that never come, a status without its code, a handle where data was expected.
  EXPECT_THROW(parseData(only(packet(Packet::Data, 1, u32(1000) + "short"))), WireError);
  EXPECT_THROW(parseNames(only(packet(Packet::Name, 1, u32(0xFFFFFFF0u) + str("a")))), WireError);
  EXPECT_THROW(parseAttributes(only(packet(Packet::Attrs, 1, u32(0x80000000u) + u32(5) + str("k")))), WireError);
  EXPECT_THROW(parseStatus(only(packet(Packet::Status, 1, "\x01"))), WireError);
  EXPECT_THROW(parseData(only(packet(Packet::Handle, 1, str("h")))), WireError);

  PacketReader reader;
  const std::string huge = u32(maxPacket + 1) + "x";
  reader.feed(huge.data(), huge.size());
  EXPECT_THROW(reader.next(), WireError);
}

TEST(SftpWire, RequestsCarryTheirLengthAndFieldsAsServersRead) {
  Attributes times;
  times.flags = Attributes::hasTimes;
  times.atime = 1;
  times.mtime = 2;
  Request request(Packet::Fsetstat, 0x01020304);
  const std::string bytes = request.string("h").attributes(times).finish();
  const std::string expected =
      u32(1 + 4 + 5 + 4 + 8) + std::string(1, '\x0a') + u32(0x01020304) + str("h") + u32(0x8) + u32(1) + u32(2);
  EXPECT_EQ(bytes, expected);
}

TEST(SftpWire, PermissionTextsReadAsLsShowsThem) {
  EXPECT_EQ(permissionText(040755), "drwxr-xr-x");
  EXPECT_EQ(permissionText(0120777), "lrwxrwxrwx");
  EXPECT_EQ(permissionText(0104754), "-rwsr-xr--");
  EXPECT_EQ(permissionText(041777), "drwxrwxrwt");
  EXPECT_EQ(permissionText(0102644), "-rw-r-Sr--");
}
