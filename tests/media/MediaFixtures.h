#pragma once

// Tiny media files made on demand with the ffmpeg and sox command lines, in one
// temporary folder per test program.

#include <filesystem>
#include <string>
#include <vector>

namespace vl::test {

const std::filesystem::path& fixtureFolder();

// Quotes one argument for /bin/sh.
std::string shellQuote(const std::string& arg);

// Runs a command line made of the given arguments; false when it fails.
bool run(const std::vector<std::string>& args);

// Makes `name` in the fixture folder with ffmpeg from a generated sine tone
// (440 Hz, or `frequency`), encoded by the extension's default codec unless
// `extra` says otherwise. Returns the path; an empty path when ffmpeg failed.
std::filesystem::path tone(const std::string& name, double seconds, int rate = 44100, int channels = 2,
                           const std::vector<std::string>& extra = {}, int frequency = 440);

// Makes `name` in the fixture folder: half a second of 90x160 H.264 picture
// with no sound track. An empty path when ffmpeg failed.
std::filesystem::path silentVideo(const std::string& name = "silent.mp4");

// Makes `name` in the fixture folder: one 32x32 picture in the extension's
// format. An empty path when ffmpeg failed.
std::filesystem::path picture(const std::string& name);

// Writes the given bytes to `name` in the fixture folder.
std::filesystem::path bytesFile(const std::string& name, const std::string& bytes);

// Deterministic noise bytes.
std::string noise(std::size_t count, unsigned seed = 7);

} // namespace vl::test
