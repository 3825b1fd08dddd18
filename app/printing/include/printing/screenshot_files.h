// Where screenshots are saved: the task's folder under Data and a file
// named after the local time, never overwriting an earlier one.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace printing {

// The task name without * \ / ? : " < > |; empty when nothing usable is
// left ("", "." or ".."), so the file goes into Data itself.
std::string TaskFolderName(std::string_view taskName);

// moduleDir + "/Data/" + the task's folder (or moduleDir + "/Data").
std::string ScreenshotFolder(const std::string& moduleDir, std::string_view taskName);

// "%02d%02d%02d%02d%02d%02d": two-digit year, month, day, hour, minute, second.
std::string ScreenshotStem(const std::tm& local);

// Creates the folder with its parents and a new file "<stem>.bmp" in it;
// when that name is taken, "<stem>-2.bmp", "<stem>-3.bmp" ... Returns the
// open descriptor (and the path), or -1 when the folder or file cannot be
// created.
int CreateScreenshotFile(const std::string& folder, const std::string& stem, std::string* path);

// Creates `dir` and its parents; true when it exists afterwards.
bool MakeDirectories(const std::string& dir);

}  // namespace printing
