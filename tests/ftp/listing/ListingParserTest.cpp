// Listing parsers against tables of real-world lines (samples/*.txt), whole listings, and a
// robustness pass over damaged and random input that only asks for no crash and sane entries.

#include "ftp/listing/ListingParser.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTimeZone>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

using tidewick::ftp::ListEntry;
using tidewick::ftp::ListingFormat;
using tidewick::ftp::ListingParser;
using tidewick::ftp::parseMlsdLine;

namespace {

const QDate kToday(2024, 6, 15);

struct Sample {
  std::string file;
  int lineNumber = 0;
  std::string heading;
  std::string raw;
  bool reject = false;
  std::string expected; // "kind | size | date | precision | name | target | permissions"
};

void PrintTo(const Sample& s, std::ostream* os) {
  *os << s.file << ":" << s.lineNumber << " (" << s.heading << ") raw=\"" << s.raw << "\"";
}

// \t \r \n \0 \\ and \xHH; anything else after a backslash stays as it is.
std::string unescape(const std::string& text) {
  static const std::map<char, char> simple = {{'t', '\t'}, {'r', '\r'}, {'n', '\n'}, {'0', '\0'}, {'\\', '\\'}};
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char next = i + 1 < text.size() ? text[i + 1] : 0;
    if (text[i] == '\\' && simple.count(next)) {
      out += simple.at(next);
      ++i;
    } else if (text[i] == '\\' && next == 'x' && i + 3 < text.size() && std::isxdigit(uchar(text[i + 2])) &&
               std::isxdigit(uchar(text[i + 3]))) {
      out += char(std::stoi(text.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<Sample> loadSamples(const std::string& file) {
  std::vector<Sample> samples;
  QFile in(QStringLiteral(TIDEWICK_LISTING_SAMPLES) + "/" + QString::fromStdString(file));
  if (!in.open(QIODevice::ReadOnly)) {
    ADD_FAILURE() << "cannot read " << file;
    return samples;
  }
  std::string heading;
  int number = 0;
  while (!in.atEnd()) {
    std::string line = in.readLine().toStdString();
    ++number;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (line.rfind("# ", 0) == 0) {
      heading = line.substr(2);
    } else if (line.rfind("> ", 0) == 0 || line.rfind("! ", 0) == 0) {
      samples.push_back({file, number, heading, unescape(line.substr(2)), line[0] == '!'});
    } else if (line.rfind("= ", 0) == 0 && !samples.empty()) {
      samples.back().expected = line.substr(2);
    }
  }
  return samples;
}

// The date and its precision in the sample table's notation.
std::string dateAndPrecision(const ListEntry& e) {
  static const char* const formats[] = {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd", "yyyy-MM-dd HH:mm", "yyyy-MM-dd HH:mm:ss"};
  static const char* const names[] = {"unknown", "day", "minute", "second"};
  const int p = int(e.precision);
  return (e.modified.isValid() ? e.modified.toString(formats[p]).toStdString() : "-") + " | " + names[p];
}

// The entry in the sample table's notation; permissions only when the table names them.
std::string describe(const ListEntry& e, bool withPermissions) {
  std::string text = std::to_string(e.kind) + " | " + std::to_string(e.size) + " | " + dateAndPrecision(e) + " | " +
                     e.name.toStdString();
  if (!e.linkTarget.isEmpty()) text += " | " + e.linkTarget.toStdString();
  else if (withPermissions) text += " |";
  if (withPermissions) text += " | " + e.permissions.toStdString();
  return text;
}

bool withPermissions(const std::string& expected) { return std::count(expected.begin(), expected.end(), '|') >= 6; }

// Invariants every accepted entry keeps, whatever the input.
void expectSane(const ListEntry& e) {
  EXPECT_FALSE(e.name.isEmpty());
  EXPECT_GE(e.size, 0);
  EXPECT_TRUE(e.kind == ListEntry::File || e.kind == ListEntry::Folder || e.kind == ListEntry::Link);
  if (e.modified.isValid()) {
    EXPECT_EQ(e.modified.offsetFromUtc(), 0);
    EXPECT_EQ(e.modified.timeZone(), QTimeZone::utc());
  } else {
    EXPECT_EQ(e.precision, ListEntry::Precision::Unknown);
  }
}

class ListingSample : public ::testing::TestWithParam<Sample> {};

TEST_P(ListingSample, ParsesAsTabled) {
  const Sample& s = GetParam();
  ListingParser parser;
  parser.setCurrentDate(kToday);
  std::vector<std::string> logged;
  parser.setLogCallback([&](std::string_view line) { logged.emplace_back(line); });

  const std::optional<ListEntry> entry = parser.parseLine(s.raw);
  if (s.reject) {
    EXPECT_FALSE(entry) << "accepted as: " << describe(*entry, true);
    EXPECT_EQ(logged.size(), 1u) << "a rejected line is logged once";
    if (s.file != "mlsd.txt") return;
    EXPECT_FALSE(parseMlsdLine(s.raw));
    return;
  }
  ASSERT_TRUE(entry) << "rejected";
  EXPECT_TRUE(logged.empty());
  const std::string expected = unescape(s.expected);
  EXPECT_EQ(describe(*entry, withPermissions(expected)), expected);
  expectSane(*entry);
  if (s.file != "mlsd.txt") return;
  const std::optional<ListEntry> direct = parseMlsdLine(s.raw);
  ASSERT_TRUE(direct);
  EXPECT_EQ(describe(*direct, withPermissions(expected)), expected);
}

std::string sampleName(const ::testing::TestParamInfo<Sample>& info) {
  return "line" + std::to_string(info.param.lineNumber);
}

INSTANTIATE_TEST_SUITE_P(Unix, ListingSample, ::testing::ValuesIn(loadSamples("unix.txt")), sampleName);
INSTANTIATE_TEST_SUITE_P(Dos, ListingSample, ::testing::ValuesIn(loadSamples("dos.txt")), sampleName);
INSTANTIATE_TEST_SUITE_P(Eplf, ListingSample, ::testing::ValuesIn(loadSamples("eplf.txt")), sampleName);
INSTANTIATE_TEST_SUITE_P(Mlsd, ListingSample, ::testing::ValuesIn(loadSamples("mlsd.txt")), sampleName);

// Every table's accepted lines as one reply: same entries in the same order, the family detected.
TEST(ListingWhole, EachTableAsOneListing) {
  const std::pair<const char*, ListingFormat> families[] = {{"unix.txt", ListingFormat::Unix},
                                                            {"dos.txt", ListingFormat::Dos},
                                                            {"eplf.txt", ListingFormat::Eplf},
                                                            {"mlsd.txt", ListingFormat::Mlsd}};
  for (const auto& [file, format] : families) {
    SCOPED_TRACE(file);
    std::string listing;
    std::vector<std::string> expected;
    for (const Sample& s : loadSamples(file)) {
      if (s.reject || s.raw.find('\n') != std::string::npos) continue;
      listing += s.raw + "\r\n";
      expected.push_back(unescape(s.expected));
    }
    ListingParser parser;
    parser.setCurrentDate(kToday);
    const std::vector<ListEntry> entries = parser.parseAll(listing);
    EXPECT_EQ(parser.format(), format);
    EXPECT_EQ(parser.unparsedLines(), 0);
    ASSERT_EQ(entries.size(), expected.size());
    for (size_t i = 0; i < entries.size(); ++i)
      EXPECT_EQ(describe(entries[i], withPermissions(expected[i])), expected[i]);
  }
}

TEST(ListingWhole, NoiseIsQuietAndStrayLinesAreLogged) {
  const std::string listing =
      "total 24\r\n"
      "drwxr-xr-x    2 ftp      ftp          4096 Jun 01 10:00 .\r\n"
      "drwxr-xr-x    5 ftp      ftp          4096 Jun 01 10:00 ..\r\n"
      "\r\n"
      "-rw-r--r--    1 ftp      ftp           123 Jun 01 10:00 a.txt\r\n"
      "ls: cannot access 'x': Permission denied\r\n"
      "-rw-r--r--    1 ftp      ftp           456 May 31  2023 b.txt";
  ListingParser parser;
  parser.setCurrentDate(kToday);
  std::vector<std::string> logged;
  parser.setLogCallback([&](std::string_view line) { logged.emplace_back(line); });
  const std::vector<ListEntry> entries = parser.parseAll(listing);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[2].name, "a.txt");
  EXPECT_EQ(entries[3].name, "b.txt");
  EXPECT_EQ(entries[3].size, 456);
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0], "ls: cannot access 'x': Permission denied");
  EXPECT_EQ(parser.unparsedLines(), 1);
}

TEST(ListingWhole, LockedFormatStillFallsBackForOddLines) {
  ListingParser parser;
  parser.setCurrentDate(kToday);
  ASSERT_TRUE(parser.parseLine("-rw-r--r-- 1 u g 5 Jan  1  2020 unix.txt"));
  EXPECT_EQ(parser.format(), ListingFormat::Unix);
  const auto dos = parser.parseLine("03-05-21  02:22PM                 1234 dos.txt");
  ASSERT_TRUE(dos);
  EXPECT_EQ(dos->name, "dos.txt");
  EXPECT_EQ(parser.format(), ListingFormat::Unix);
}

TEST(ListingWhole, FactLinesInAListReplyMustSayTheirType) {
  ListingParser parser;
  EXPECT_FALSE(parser.parseLine("Error=5; see the server log"));
  EXPECT_TRUE(parseMlsdLine("Error=5; see the server log")) << "a real MLSD reply takes any facts";
  const auto entry = parser.parseLine("type=dir;modify=20210305142233; docs");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->kind, ListEntry::Folder);
  EXPECT_EQ(parser.format(), ListingFormat::Mlsd);
}

TEST(ListingDates, YearLessDatesAroundNewYearAndLeapDays) {
  struct Case {
    QDate today;
    const char* line;
    QDate expected;
  } cases[] = {
      {QDate(2025, 1, 1), "-rw-r--r-- 1 u g 5 Dec 31 23:00 x", QDate(2024, 12, 31)},
      {QDate(2025, 1, 1), "-rw-r--r-- 1 u g 5 Jan  2 01:00 x", QDate(2025, 1, 2)},
      {QDate(2025, 1, 1), "-rw-r--r-- 1 u g 5 Jan  3 01:00 x", QDate(2024, 1, 3)},
      {QDate(2025, 3, 1), "-rw-r--r-- 1 u g 5 Feb 29 12:00 x", QDate(2024, 2, 29)},
      {QDate(2024, 3, 1), "-rw-r--r-- 1 u g 5 Feb 29 12:00 x", QDate(2024, 2, 29)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ListingParser parser;
    parser.setCurrentDate(c.today);
    const auto entry = parser.parseLine(c.line);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->modified.date(), c.expected);
  }
}

// --- robustness -------------------------------------------------------------------------------

// An exact-size heap copy, so that reading one byte past the line trips AddressSanitizer.
std::optional<ListEntry> parseExact(ListingParser& parser, const std::string& bytes, bool mlsd) {
  auto buffer = std::make_unique<char[]>(bytes.size() + (bytes.empty() ? 1 : 0));
  std::copy(bytes.begin(), bytes.end(), buffer.get());
  const std::string_view view(buffer.get(), bytes.size());
  std::optional<ListEntry> entry = mlsd ? parseMlsdLine(view) : parser.parseLine(view);
  if (entry) expectSane(*entry);
  return entry;
}

// Blanks are looked for 16 and 64 bytes at a time: the owner's width moves every later word across
// those steps, and the line's last bytes are read apart from the rest.
TEST(ListingRobustness, FieldsAtEveryOffset) {
  for (int width = 1; width <= 80; ++width) {
    const std::string line = "-rw-r--r-- 1 " + std::string(width, 'o') + " g 7 Feb  3 12:34 a  b";
    SCOPED_TRACE(line);
    ListingParser parser;
    parser.setCurrentDate(kToday);
    const auto entry = parseExact(parser, line, false);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->size, 7);
    EXPECT_EQ(entry->modified, QDateTime(QDate(2024, 2, 3), QTime(12, 34), Qt::UTC));
    EXPECT_EQ(entry->name, "a  b");
  }
}

TEST(ListingRobustness, StrayBytesAtEveryPosition) {
  const std::string stray[] = {" ", "\t", "\r", "\n", std::string(1, '\0'), "\xff", "  ", ",", ";", ":"};
  ListingParser longLived;
  longLived.setLogCallback([](std::string_view) {});
  for (const char* file : {"unix.txt", "dos.txt", "eplf.txt", "mlsd.txt"}) {
    for (const Sample& s : loadSamples(file)) {
      for (size_t pos = 0; pos <= s.raw.size(); ++pos) {
        for (const std::string& bytes : stray) {
          std::string damaged = s.raw;
          damaged.insert(pos, bytes);
          ListingParser fresh;
          parseExact(fresh, damaged, false);
          parseExact(longLived, damaged, false);
          parseExact(fresh, damaged, true);
        }
        const std::string cut = s.raw.substr(0, pos);
        ListingParser fresh;
        parseExact(fresh, cut, false);
        parseExact(fresh, cut, true);
      }
    }
  }
}

TEST(ListingRobustness, RandomLines) {
  // Pieces of real lines glued at random find the deep paths; plain random bytes the shallow ones.
  std::vector<std::string> pieces = {" ", "  ", "\t", "\r", "\n", std::string(1, '\0'), "+i1.2,m825718503,r,s280,\t"};
  for (const QString& piece :
       QStringLiteral(
           "drwxr-xr-x -rw-r--r-- lrwxrwxrwx crw-rw-rw- d [RWCEAFMS] 1 12 31 2020 99999999999999999999 Jan Feb "
           "Sept 12:00 23:59:60 24:00 1, 3 03-05-21 2021-03-05 02:22PM PM <DIR> 1,234 + up644 type=file; "
           "type=OS.unix=slink: size= sizd=1; modify=20210305142233.; UNIX.mode=7777; = ; +0100 -9999 "
           "total . .. /")
           .split(' '))
    pieces.push_back(piece.toStdString());
  pieces.insert(pieces.end(), {"\xc3", "\xa9", "\xff", " -> "});
  std::mt19937 random(20240615);
  ListingParser longLived;
  longLived.setLogCallback([](std::string_view) {});
  for (int round = 0; round < 40000; ++round) {
    std::string line;
    const int length = int(random() % 24);
    if (round % 2 == 0) {
      for (int i = 0; i < length; ++i) {
        line += pieces[random() % pieces.size()];
        if (random() % 3 == 0) line += ' ';
      }
    } else {
      for (int i = 0; i < length * 6; ++i) line += char(random() % 256);
    }
    ListingParser fresh;
    parseExact(fresh, line, false);
    parseExact(longLived, line, false);
    parseExact(fresh, line, true);
  }
  std::string whole;
  for (int i = 0; i < 20000; ++i) whole += char(random() % 256);
  ListingParser parser;
  for (const ListEntry& e : parser.parseAll(whole)) expectSane(e);
}

} // namespace
