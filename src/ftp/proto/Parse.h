#pragma once

#include "ftp/proto/Reply.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace tidewick::ftp::proto {

struct PassiveAddress {
  std::string host; // dotted IPv4 as the server sent it
  std::uint16_t port = 0;
};

// 227 "Entering Passive Mode (h1,h2,h3,h4,p1,p2)": the six numbers wherever they stand, each 0-255.
std::optional<PassiveAddress> parsePasv(const std::string& text);
// 229 "Entering Extended Passive Mode (|||port|)" with any printable delimiter; port 1-65535.
std::optional<std::uint16_t> parseEpsv(const std::string& text);
// 257 "folder" comment: the quoted folder with "" read as one quote; without quotes the first word.
std::optional<std::string> parsePwd(const std::string& text);
// 213 size.
std::optional<std::int64_t> parseSize(const std::string& text);
// "(12345 bytes)" in a 150 reply, as many servers add it.
std::optional<std::int64_t> parseAnnouncedSize(const std::string& text);

// The FEAT reply: feature names upper-cased, each with the rest of its line ("MLST" ->
// "type*;size*;modify*;").
class Features {
public:
  static Features parse(const Reply& reply);
  bool has(const std::string& name) const { return m_features.count(name) != 0; }
  std::string parameters(const std::string& name) const;
  std::size_t size() const { return m_features.size(); }

private:
  std::map<std::string, std::string> m_features;
};

// Argument of EPRT: "|1|addr|port|" or "|2|addr|port|".
std::string eprtArgument(const std::string& address, bool v6, std::uint16_t port);
// Argument of PORT: "h1,h2,h3,h4,p1,p2".
std::string portArgument(const std::string& ipv4, std::uint16_t port);

} // namespace tidewick::ftp::proto
