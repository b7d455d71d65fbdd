// The pure protocol pieces: reply reader, command formatting, reply parsers, names and masks,
// and the TYPE A line-end conversions.

#include "ftp/proto/Ascii.h"
#include "ftp/proto/Command.h"
#include "ftp/proto/Parse.h"
#include "ftp/proto/Paths.h"
#include "ftp/proto/Reply.h"

#include <gtest/gtest.h>

#include <type_traits>

using namespace tidewick::ftp::proto;

namespace {

std::vector<Reply> readAll(const std::string& bytes, std::size_t step) {
  ReplyReader reader;
  std::vector<Reply> out;
  for (std::size_t i = 0; i < bytes.size(); i += step) {
    reader.feed(bytes.data() + i, std::min(step, bytes.size() - i));
    while (auto reply = reader.next()) out.push_back(*reply);
  }
  return out;
}

} // namespace

TEST(ReplyReader, SplitsSingleAndMultiLineRepliesWhateverTheChunking) {
  const std::string bytes =
      "220 Ready\r\n"
      "211-Features:\r\n"
      " MLST type*;size*;\r\n"
      "211-not the end\r\n"
      "  200 padded line\r\n"
      "211 End\r\n"
      "230 Bare LF\n"
      "250\r\n";
  for (std::size_t step : {std::size_t(1), std::size_t(2), std::size_t(7), bytes.size()}) {
    const auto replies = readAll(bytes, step);
    ASSERT_EQ(replies.size(), 4u) << "step " << step;
    EXPECT_EQ(replies[0].code, 220);
    EXPECT_EQ(replies[1].code, 211);
    EXPECT_EQ(replies[1].lines.size(), 5u);
    EXPECT_EQ(replies[1].lines[2], "211-not the end");
    EXPECT_EQ(replies[2].text(), "230 Bare LF");
    EXPECT_EQ(replies[3].code, 250);
  }
}

TEST(ReplyReader, RefusesWhatCannotBeAReply) {
  for (const std::string& bytes :
       {std::string("HELLO there\r\n"), std::string("2200 four digits\r\n"), std::string("620 no such class\r\n"),
        std::string("230-Welcome\r\n220 another code closes it\r\n"),
        "220 " + std::string(70 * 1024, 'x'), // no line end yet, but over the cap
        "220 " + std::string(70 * 1024, 'x') + "\r\n"})
    EXPECT_THROW(readAll(bytes, 3), ReplyError) << bytes.substr(0, 40);
  EXPECT_NO_THROW(readAll("220 " + std::string(60 * 1024, 'x') + "\r\n", 3));
}

TEST(Command, RefusesLineBreaksAndNulAndMasksPasswords) {
  EXPECT_THROW(formatCommand("CWD", "a\r\nDELE b"), UnsafeCommand);
  EXPECT_THROW(formatCommand("RETR", "a\nb"), UnsafeCommand);
  EXPECT_THROW(formatCommand("RETR", std::string("a\0b", 3)), UnsafeCommand);
  EXPECT_THROW(formatRawLine("NOOP\rQUIT"), UnsafeCommand);

  EXPECT_EQ(loggedCommand("PASS secret\r\n"), "PASS ****");
  EXPECT_EQ(loggedCommand("pass secret"), "pass ****");
  EXPECT_EQ(loggedCommand("ACCT money"), "ACCT ****");
  EXPECT_EQ(loggedCommand("USER demo\r\n"), "USER demo");
  EXPECT_EQ(commandVerb("  list -la"), "LIST");
  // The argument keeps every blank after the one that ends the verb: it may start a name.
  EXPECT_EQ(commandArgument("retr a b.txt"), "a b.txt");
  EXPECT_EQ(commandArgument("  STOR  lead.txt "), " lead.txt ");
  EXPECT_EQ(commandArgument("RETR"), "");
  EXPECT_EQ(commandArgument("RETR "), "");
}

TEST(Parse, PassiveRepliesTakeOnlyWellFormedAddresses) {
  auto pasv = parsePasv("227 Entering Passive Mode (192,168,1,20,195,80).");
  ASSERT_TRUE(pasv);
  EXPECT_EQ(pasv->host, "192.168.1.20");
  EXPECT_EQ(pasv->port, 195 * 256 + 80);
  pasv = parsePasv("227 =10,0,0,1,4,1");
  ASSERT_TRUE(pasv);
  EXPECT_EQ(pasv->port, 1025);
  EXPECT_FALSE(parsePasv("227 Entering Passive Mode (256,0,0,1,4,1)"));
  EXPECT_FALSE(parsePasv("227 Entering Passive Mode (1,2,3,4,5)"));
  EXPECT_FALSE(parsePasv("227 Entering Passive Mode (1,2,3,4,0,0)"));

  EXPECT_EQ(parseEpsv("229 Entering Extended Passive Mode (|||6446|)"), 6446);
  EXPECT_EQ(parseEpsv("229 ok (!!!2121!)"), 2121);
  EXPECT_EQ(parseEpsv("229 ok (|||65535|)"), 65535);
  EXPECT_EQ(parseEpsv("229 ok (|||1|)"), 1);
  EXPECT_FALSE(parseEpsv("229 Entering Extended Passive Mode (|||65536|)"));
  EXPECT_FALSE(parseEpsv("229 Entering Extended Passive Mode (|||0|)"));
  EXPECT_FALSE(parseEpsv("229 Entering Extended Passive Mode (||6446|)"));
  EXPECT_FALSE(parseEpsv("229 Entering Extended Passive Mode (|||port|)"));
  EXPECT_FALSE(parseEpsv("229 Entering Extended Passive Mode |||6446|"));
}

TEST(Parse, FolderSizesAndFeatures) {
  EXPECT_EQ(parsePwd("257 \"/home/demo\" is current"), "/home/demo");
  EXPECT_EQ(parsePwd("257 \"/say \"\"hi\"\"\" created"), "/say \"hi\"");
  EXPECT_EQ(parsePwd("257 /plain is current"), "/plain");
  EXPECT_FALSE(parsePwd("257 \"/unterminated"));

  EXPECT_EQ(parseSize("213 5368709127"), 5368709127LL);
  EXPECT_FALSE(parseSize("213 12abc"));
  EXPECT_EQ(parseAnnouncedSize("150 Opening BINARY mode data connection for a.bin (4294967301 bytes)."), 4294967301LL);
  EXPECT_FALSE(parseAnnouncedSize("150 File status okay."));

  Reply feat{211, {"211-Features:", " EPSV", " mlst type*;size*;modify*;", " UTF8", "211 End"}};
  const Features features = Features::parse(feat);
  EXPECT_TRUE(features.has("EPSV"));
  EXPECT_TRUE(features.has("MLST"));
  EXPECT_EQ(features.parameters("MLST"), "type*;size*;modify*;");
  EXPECT_TRUE(features.has("UTF8"));
  EXPECT_FALSE(features.has("SIZE"));
  EXPECT_EQ(Features::parse(Reply{500, {"500 no"}}).size(), 0u);
}

TEST(Paths, WildcardsMasksAndUnsafeNames) {
  EXPECT_TRUE(wildcardMatch("*.gif", "a.gif"));
  EXPECT_FALSE(wildcardMatch("*.gif", "a.GIF"));
  EXPECT_FALSE(wildcardMatch("*.gif", "a.gif.txt"));
  EXPECT_TRUE(wildcardMatch("a?c*", "abcdef"));
  EXPECT_TRUE(wildcardMatch("*.*", "README"));
  EXPECT_TRUE(wildcardMatch("", "anything"));
  EXPECT_TRUE(wildcardMatch("*a*b*", "xxaxxbxx"));
  EXPECT_FALSE(wildcardMatch("*a*b", "xxaxxbxx"));

  EXPECT_EQ(joinRemote("/pub", "a"), "/pub/a");
  EXPECT_EQ(joinRemote("/", "a"), "/a");
  EXPECT_EQ(joinRemote("", "a"), "a");

  auto mask = splitMask("/pub/docs/*.txt");
  EXPECT_EQ(mask.folder, "/pub/docs");
  EXPECT_EQ(mask.pattern, "*.txt");
  mask = splitMask("/pub\\docs\\*");
  EXPECT_EQ(mask.folder, "/pub/docs");
  EXPECT_EQ(mask.pattern, "*");
  mask = splitMask("/*");
  EXPECT_EQ(mask.folder, "/");
  mask = splitMask("*.txt");
  EXPECT_EQ(mask.folder, "");

  EXPECT_TRUE(unsafeNameReason("report.txt").isEmpty());
  EXPECT_TRUE(unsafeNameReason("..hidden").isEmpty());
  for (const QString& bad : {QString(".."), QString("."), QString("../x"), QString("a/b"), QString("/etc"),
                             QString("a\r"), QString("a\nb"), QString(QChar(0)), QString()})
    EXPECT_FALSE(unsafeNameReason(bad).isEmpty()) << bad.toStdString();
}

TEST(Ascii, ConvertsLineEndsAcrossEverySplit) {
  // Each conversion in two parts, split at every place.
  const auto convert = [](auto coder, const std::string& in, std::size_t split) {
    std::string out, part;
    coder.convert(in.data(), split, part);
    out += part;
    coder.convert(in.data() + split, in.size() - split, part);
    out += part;
    if constexpr (std::is_same_v<decltype(coder), AsciiDecoder>) out += coder.finish();
    return out;
  };
  const std::string wire = "one\r\ntwo\r\n\r\nlone\rcr\r\r\nend\r";
  for (std::size_t split = 0; split <= wire.size(); ++split)
    EXPECT_EQ(convert(AsciiDecoder(), wire, split), "one\ntwo\n\nlone\rcr\r\nend\r") << "split at " << split;
  const std::string text = "a\nb\r\nc\n\n";
  for (std::size_t split = 0; split <= text.size(); ++split)
    EXPECT_EQ(convert(AsciiEncoder(), text, split), "a\r\nb\r\nc\r\n\r\n") << "split at " << split;
}
