// The body of one HotSync session, run on the worker thread: decides which handheld
// locations take part, synchronises them one at a time and writes the summary line.
#pragma once

class Settings;
class SyncJob;

void RunDriver(SyncJob& job, Settings& settings);

// The line a HotSync ends with: "Tarnwick" (activity 20) after a clean one, "Tarnwick
// encountered 1 or more errors" (activity 16) after one with errors. May throw (bad_alloc).
void LogSummary(bool errors);
