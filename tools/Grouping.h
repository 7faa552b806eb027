#pragma once
// Grouping of results by cause (`--group-by instance|pair`).
//
// instance: the instance taking part in the most ungrouped results forms a
// group of them, then the next (ties: the smaller placement path), until
// every result is in one group; so one duct crossing 14 pipes is one group
// of 14, largest group first. A result joins only one group, though both its
// instances may have others. pair: results between the same two instances.
#include <string>

#include "tools/CheckReport.h"

// Fills report.groups and every result's group; false for an unknown mode
// ("none" and "" clear the groups).
bool GroupResults(CheckReport& report, const std::string& mode);
void PrintGroups(const CheckReport& report, std::FILE* out);
