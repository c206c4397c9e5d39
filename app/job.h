// The job: settings, collection, and the packing of every group.
#ifndef QUILLPACK_APP_JOB_H_
#define QUILLPACK_APP_JOB_H_

#include <string>
#include <utility>

#include "app/command_line.h"

namespace qp {

// Bytes that make one percent of all collected files; 0 when they are empty.
extern double one_percent;

// Test builds set this to force a crash at the start of the job.
extern void (*job_start_hook)();

// Returns (message, exit code); may end the process itself.
std::pair<std::string, int> run_job(const run_settings& settings);

}  // namespace qp

#endif  // QUILLPACK_APP_JOB_H_
