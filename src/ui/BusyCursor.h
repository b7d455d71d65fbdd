#pragma once

namespace tidewick::ui {

// The busy pointer for the length of a scope; the normal pointer comes back on every way out.
class BusyCursor {
public:
  BusyCursor();
  ~BusyCursor();
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

// The normal pointer for the length of a scope inside a busy one, for a question the user must
// answer before the work goes on; the busy pointer comes back afterwards.
class NormalCursor {
public:
  NormalCursor();
  ~NormalCursor();
  NormalCursor(const NormalCursor&) = delete;
  NormalCursor& operator=(const NormalCursor&) = delete;

private:
  bool m_pushed = false;
};

} // namespace tidewick::ui
