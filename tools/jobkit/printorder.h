// What each printed page of a job is, told from what the job asked for: a
// page of the document (and which), a separator, the instruction page or a
// booklet side, in the order the component replays a spooled job. For
// whoever shows a run's pages to a person (kqxl-report).
#pragma once

#include <string>
#include <vector>

#include "jobkit/host.h"

namespace jobkit {

// A label for every page of the job's port documents, one list a document;
// `printed` holds each document's page count. Empty when the job's order is
// not one told here, or its pages do not add up to what was printed.
std::vector<std::vector<std::string>> pageLabels(const JobSummary& job, const std::vector<int>& printed);

}  // namespace jobkit
