#pragma once
// The two-column table of the preview dialog: relay values left, new values right.

#include <string>

#include "params/parameter_set.h"

std::string BuildPreviewText(const std::string& columnTitle, const ParameterSet& deviceSet, const ParameterSet& newSet);
