#pragma once

#include <string>
#include <vector>

#include "core/decision_log.h"

/// `vmbootcheck --init <jar>`: a starting .ini from the jar's manifest, written to `output`
/// (UTF-8); the splash image it names is taken out of the jar into the jar's folder.
/// Returns the tool's exit code: 0, or 2 with a one-line message in `output`.
int InitConfigurationFromJar(const std::wstring& jar, std::string& output);

/// After a dry run: the standard modules the class path's classes use that the runtime of
/// `vmLibrary` (its jvm.dll) lacks, as decisions of the stage "modules". `vmOptions` are the
/// options the launcher would pass; the class path and module path are read from them.
void NoteMissingModules(const std::wstring& vmLibrary, const std::vector<std::wstring>& vmOptions,
                        DecisionLog& log);
