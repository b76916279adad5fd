// The gamma guard's diagnostic log: "tarnuvo_gamma.log" in the temporary directory,
// one time-stamped line per event, opened and closed for every line.
#ifndef GAMMA_GUARD_LOG_H_
#define GAMMA_GUARD_LOG_H_

#include <cstdio>

// Local date and time of a log line.
struct GuardLogTime {
  int year;
  int month;
  int day;
  int hour;
  int minute;
  int second;
};

// Size of the buffer the temporary directory is read into (MAX_PATH on Windows).
constexpr unsigned kTempPathBufferSize = 260;
constexpr char kGuardLogFileName[] = "tarnuvo_gamma.log";

// Appends one line. Every failure (no temporary directory, a path too long, a file
// that cannot be opened) silently loses just this line.
void GuardLog(const char* message);

// Writes "YYYY-MM-DD hh:mm:ss  message\n" to file.
void WriteGuardLogLine(std::FILE* file, const GuardLogTime& time, const char* message);

#endif  // GAMMA_GUARD_LOG_H_
