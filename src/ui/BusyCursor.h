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

} // namespace tidewick::ui
