#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace moonglow {

// A whole file as bytes, and a file made of bytes, for the settings tests.
inline std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void Spit(const std::filesystem::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << text;
}

}  // namespace moonglow
