// The body of one HotSync session, run on the worker thread: decides which handheld
// locations take part, synchronises them one at a time and writes the summary line.
#pragma once

class Settings;
class SyncJob;

void RunDriver(SyncJob& job, Settings& settings);
