// Test programs written as shell scripts.
#pragma once

#include <string>

// Writes an executable "#!/bin/sh" script with the given body.
void WriteScript(const std::string& path, const std::string& body);
