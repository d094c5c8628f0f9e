// The MD5 of the package the simulator announces: the installer checks the downloaded file
// against it, so it is computed from the exact bytes served.
#pragma once

#include <string>

// MD5 of a whole file as lower-case hex; false when the file cannot be read.
bool Md5OfFile(const std::string& path, std::string* hex);
