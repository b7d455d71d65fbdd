#include "ftp/proto/Ascii.h"

namespace tidewick::ftp::proto {

void AsciiDecoder::convert(const char* data, std::size_t size, std::string& out) {
  out.clear();
  out.reserve(size + 1);
  for (std::size_t i = 0; i < size; ++i) {
    const char c = data[i];
    if (m_pendingCr) {
      m_pendingCr = false;
      if (c != '\n') out += '\r';
    }
    if (c == '\r') m_pendingCr = true;
    else out += c;
  }
}

std::string AsciiDecoder::finish() {
  if (!m_pendingCr) return {};
  m_pendingCr = false;
  return "\r";
}

void AsciiEncoder::convert(const char* data, std::size_t size, std::string& out) {
  out.clear();
  out.reserve(size + size / 16 + 2);
  for (std::size_t i = 0; i < size; ++i) {
    const char c = data[i];
    if (c == '\n' && !m_lastWasCr) out += '\r';
    out += c;
    m_lastWasCr = c == '\r';
  }
}

} // namespace tidewick::ftp::proto
