// The replay of a spooled job at the end of its document: its schedule,
// built from the job's replay inputs, played by the one executor.
#pragma once

#include "spool/schedule.h"

// The schedule of a replay, for every order (the plan's precedence picked
// the order).
void BuildReplay(const ReplayInputs& in, Schedule& out);

// The job's replay. A replay fails only when it could not start (its
// transfer buffer): the job is then lost whole, and the user is told so.
// Collation has a message of its own; every other replay shows reverse
// order's. A cancelled job's replay ends where the cancel fell, without a
// word more.
void ReplaySpooledJob(JobData* pData);
