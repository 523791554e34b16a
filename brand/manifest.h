#pragma once

#include <string>

/// True for the three levels the manifest's requestedExecutionLevel takes.
bool IsExecutionLevel(const std::string& level);

/// The manifest with requestedExecutionLevel's level set to `level`, everything else as it
/// was; a trustInfo block is added before </assembly> when the manifest has none. False
/// with a message when the text is not an assembly manifest.
bool SetExecutionLevel(const std::string& manifest, const std::string& level, std::string* result,
                       std::string* error);
