// Booklet replays: two-pass software booklets and printer-made booklets,
// built as schedules (spool/schedule.h).
#pragma once

#include "spool/schedule.h"

// The booklet part of a booklet job's replay inputs: the record, the
// binding, the model's BookletOrder and which sides take the alternate
// BeginPage (MDL_FEATURE); what has no defined meaning traced.
void DecideBooklet(JobData* pData, ReplayInputs* in);

void Hardware_DoBooklet(const ReplayInputs& in, Schedule& out);
void DoBooklet(const ReplayInputs& in, Schedule& out);
// A booklet job in neither booklet mode (neither wHardwareBooklet 2 nor
// wManualDuplex 2): every page once, in order, each alone on a side framed
// by the booklet record, since its pages have no framing of their own.
void PrintBookletPagesAlone(const ReplayInputs& in, Schedule& out);
