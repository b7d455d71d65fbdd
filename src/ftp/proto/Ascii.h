#pragma once

#include <cstddef>
#include <string>

namespace tidewick::ftp::proto {

// TYPE A on the way in: CR LF becomes LF. A CR at the end of one block waits for the next, so the
// result does not depend on how the bytes were split. A CR not followed by LF is kept.
class AsciiDecoder {
public:
  // Puts the converted block into out (cleared first).
  void convert(const char* data, std::size_t size, std::string& out);
  // Bytes still held back at the end of the stream (a lone trailing CR).
  std::string finish();

private:
  bool m_pendingCr = false;
};

// TYPE A on the way out: a LF not preceded by CR becomes CR LF; CR LF pairs already in the file
// stay as they are.
class AsciiEncoder {
public:
  // Appends the converted block to out (cleared first).
  void convert(const char* data, std::size_t size, std::string& out);

private:
  bool m_lastWasCr = false;
};

} // namespace tidewick::ftp::proto
