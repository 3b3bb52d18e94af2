#pragma once
// Multi-page TIFF volumes: one page per z slice.  TTiffIO reads uncompressed strip-organised
// files (little- or big-endian; 8, 16, 32 or 64-bit integer samples, 32 or 64-bit floats; grey,
// grey with alpha, min-is-white, RGB chunky or planar) and refuses everything else with a
// message in lastError().  It also carries the output path of the writers (volume/tiff_write.h).
// Our writers store the voxel pitch in private tags ("B_PITCHX" ...); the reader reports it.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

class Image3D;

// One IFD entry of the current page.  value holds the 4 value bytes after byte-order correction
// (an inline value, or the offset of the values); raw keeps those 4 bytes in file order so that
// short arrays stored inline can be decoded.
struct TTiffTag {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  uint32_t value = 0;
  uint8_t raw[4] = {0, 0, 0, 0};
};

// What the reader found in a file, after checking every page.
struct TTiffVolumeInfo {
  int W = 0;
  int H = 0;
  int D = 0;               // page count
  int samplesPerPixel = 1;
  int bitsPerSample = 0;
  int sampleFormat = 1;    // 1 unsigned, 2 signed, 3 IEEE float
  bool color = false;      // RGB pages (three or more samples, photometric RGB)
  bool hasPitch = false;   // the file carries our pitch tags
  double pitch[3] = {1.0, 1.0, 1.0};
};

class TTiffIO {
 public:
  explicit TTiffIO(const char* path);
  explicit TTiffIO(const std::string& path);
  ~TTiffIO();
  TTiffIO(const TTiffIO&) = delete;
  TTiffIO& operator=(const TTiffIO&) = delete;

  const std::string& path() const { return m_path; }
  void setPath(const std::string& path) { m_path = path; }

  // Tag number of a name; the name is trimmed at both ends of characters outside 'A'..'z' and
  // upper-cased.  0 ("UNKNOWN") when no tag has that name.
  static uint16_t tagIdByName(const std::string& name);
  // Name of a tag number, "UNKNOWN" for numbers not in the table.
  static const char* tagNameById(uint16_t id);
  // Number of rows of the tag-name table.
  static int tagNameCount();
  // Bytes of one value of a field type; 0 for unknown types.
  static int typeSize(int type);
  // Reverses the bytes of each of count elements of elemSize bytes.
  static void swapBytes(void* buffer, int elemSize, size_t count);

  // Reads the header and the chain of page directories; returns the page count (0 when the file
  // cannot be opened or is not a classic TIFF).  A chain that loops or points past the end of
  // the file ends there and is reported by inspect().
  int countPages();
  // Reads the directory at the stream position into the tag map (replacing the previous page's
  // tags) and sets bitsPerSample.
  // False when the directory could not be read to its end.
  bool readIfdEntries(FILE* fp);
  // Makes page n current; true when the page is colour (RGB).
  bool readIfd(int n);
  // Reads one row (W samples per pixel) of the current, chunky page at the stream position.
  bool readRow(FILE* fp, double* out);
  // The entry of a tag of the current page; an absent tag is inserted with type, count, value 0.
  TTiffTag& tag(const std::string& name);

  // Checks every page and fills *info.  False with lastError() set when the file cannot be read
  // as a volume: compressed or tiled pages, unsupported sample widths or formats, palette or
  // other non-grey, non-RGB pages, pages of different sizes or layouts, damaged or truncated data.
  bool inspect(TTiffVolumeInfo* info);

  // Reads all pages into Image3D volumes (allocated here).  readGray refuses colour files;
  // readColor refuses grey ones.  The pitch of our pitch tags goes to the image(s).
  bool readGray(Image3D* image);
  bool readColor(Image3D* r, Image3D* g, Image3D* b);

  // Bulk reads into float volumes of info.W * info.H * info.D values (voxel (x, y, z) at
  // z*W*H + y*W + x, rows in file order), after inspect() succeeded.  Grey reads sample 0 of grey
  // pages and the largest of the three colour samples of RGB pages; RGB needs colour pages.
  bool readGrayFloat(float* values);
  bool readColorFloat(float* red, float* green, float* blue);

  const std::string& lastError() const { return m_error; }
  // Whether the last scan of the page chain stopped at damage rather than at its end.
  bool chainDamaged() const { return m_chainDamaged; }

  // File state, public as in the rest of the volume code.
  int byteOrder = 0;                       // 0 little-endian, 1 big-endian
  std::vector<uint32_t> pages;             // IFD offsets in file order
  uint16_t bitsPerSample = 0;              // of the current page
  std::map<uint16_t, TTiffTag> tags;       // of the current page

  struct Layout;  // checked layout of one page (TTiffIO.cpp)

 private:
  bool openChecked(FILE** fp);
  bool readIfdAt(FILE* fp, int n);
  bool readTagArray(FILE* fp, const TTiffTag& t, std::vector<uint64_t>* out);
  bool describePage(FILE* fp, int n, Layout* layout);
  int scanChain(FILE* fp);
  // mode 0: grey (largest colour sample of RGB pages), 1: the three colour samples.
  template <class Out>
  bool readVolume(int mode, const std::function<Out*(int channel, int z, int y)>& row);
  bool fail(const std::string& message);

  std::string m_path;
  std::string m_error;
  uint64_t m_fileSize = 0;
  bool m_chainDamaged = false;
  std::vector<Layout> m_layouts;
  TTiffVolumeInfo m_info;
  bool m_inspected = false;
};

// Whether page 0 of the file is a colour (RGB) page.
bool t_isTiffColor(const std::string& path);
