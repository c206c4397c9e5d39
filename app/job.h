// The job: settings, collection, and the packing of every group.
#ifndef QUILLPACK_APP_JOB_H_
#define QUILLPACK_APP_JOB_H_

#include <string>
#include <utility>

#include "app/command_line.h"

namespace qp {

// Test builds set this to force a crash at the start of the job.
void set_job_start_hook(void (*hook)());

// Returns (message, exit code); may end the process itself.
std::pair<std::string, int> run_job(const run_settings& run);

}  // namespace qp

#endif  // QUILLPACK_APP_JOB_H_
