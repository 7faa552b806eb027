#pragma once
// BCF (the BIM collaboration format) export of a check: a zip holding
// bcf.version and per result a topic folder (markup.bcf,
// viewpoint.bcfv, snapshot.png). Versions 2.1 and 3.0 differ in the layout
// of the markup and in camera limits; both are written by the same code.
//
// Per topic: title and description (kind, distance, volume, the two names
// and placement paths), a viewpoint whose perspective camera is the camera of
// the result's picture, the two instances as selected components (placement
// path as authoring-tool id, coloured as in the picture), the clip plane when
// the picture showed one, and the picture as snapshot.
//
// Topic and viewpoint GUIDs are derived from the file name, the result's pair
// and its box, so that the same result exported twice keeps its GUIDs.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/CheckReport.h"

// The files of a zip archive, stored without compression, in order.
struct ZipEntry {
  std::string name;
  std::string data;
};
// The zip file's bytes (stored entries, CRC-32, DOS time `dosDate`/`dosTime`).
std::string ZipArchive(const std::vector<ZipEntry>& entries, std::uint16_t dosDate = 0x21, std::uint16_t dosTime = 0);
std::uint32_t Crc32(const std::string& data);

// The BCF archive's entries. `version` is "2.1" or "3.0"; `pictureDir` the
// directory with result_NNN.png (missing pictures: topic without snapshot);
// `cameras` one per result (WriteResultPictures), may be shorter (no
// camera: the viewpoint has components but no camera; 2.1 requires a field
// of view of 45 to 60 degrees, outside it the camera is left out too).
// `isoDate` is the topics' creation date (xs:dateTime).
std::vector<ZipEntry> BcfEntries(const CheckReport& report, const std::vector<ResultCamera>& cameras,
                                 const std::string& pictureDir, const std::string& version, const std::string& isoDate);

// Writes the archive to `path` (temporary name, renamed when complete).
bool WriteBcf(const CheckReport& report, const std::vector<ResultCamera>& cameras, const std::string& pictureDir,
              const std::string& version, const std::string& path, std::string& error);

// The current UTC time as xs:dateTime ("2026-01-02T03:04:05Z").
std::string IsoUtcNow();

// A fresh directory for pictures that only the archive needs ("" when none
// can be made), and its removal with every file in it (only for directories
// made by MakeScratchDir: it holds no subdirectories).
std::string MakeScratchDir();
void RemoveScratchDir(const std::string& dir);
