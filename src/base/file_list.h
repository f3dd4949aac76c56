// The run's ordered list of full paths: page files after intake, output files after
// conversion.
#pragma once

#include <string>
#include <vector>

using FileList = std::vector<std::string>;
