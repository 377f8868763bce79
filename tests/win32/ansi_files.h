// Whole files and folder listings (sorted, without "." and "..") through the A-suffix calls, so
// names with codes above 127 mean what they mean to the program under test.
#pragma once

#include <string>
#include <vector>

namespace tandrel::test {

bool WriteAnsiFile(const std::string& path, const std::string& bytes);
bool ReadAnsiFile(const std::string& path, std::string& bytes);
std::vector<std::string> ListFolder(const std::string& folder);

}  // namespace tandrel::test
