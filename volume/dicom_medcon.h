#pragma once
// DICOM slices through Debian's medcon converter, run as a child process with an argument vector:
// "medcon -n -f FILE -c - bin" writes the raw samples of one image to standard output and its
// description as "key : value" lines to standard error, which goes to a private temporary file.
#include <string>
#include <vector>

class XMedConIO {
 public:
  int width = -1;        // "mwidth"
  int height = -1;       // "mheight"
  int number = 1;        // "number": images in the file
  int bits = -1;         // "bits"
  int type = -1;         // "type": sample type code of the converter
  double pixdim[3] = {1.0, 1.0, 1.0};  // "pixdim[1]".."pixdim[3]": x, y, z in mm
  double slope = 1.0;    // "quant_scale": the DICOM rescale slope
  double intercept = 0;  // "intercept": the DICOM rescale intercept
  double position[3] = {0, 0, 0};  // "image_pos_pat[0]".."[2]"
  bool hasPosition = false;
  // "image_orient_pat[0]".."[5]": the directions of the rows and of the columns; medcon gives
  // zeros for a file without them.
  double orientation[6] = {0, 0, 0, 0, 0, 0};
  double sliceSpacing = 0;  // "slice_spacing": SpacingBetweenSlices, else SliceThickness
  std::string samples;   // the converter's standard output
  std::string error;     // why the last step failed

  XMedConIO() = default;
  virtual ~XMedConIO() = default;

  // Back to the state before a file: sizes, bits and type -1, one image, pixdim 1, slope 1,
  // intercept 0, no samples.
  void reset();
  // Runs the converter on one file and checks what it gave: samples present, a type and width
  // that can be converted, exactly W x H samples of one image.
  bool setFileGetHeaderInfoWin(const std::string& path);
  // Parses the converter's header text (what it wrote to standard error).
  void parseHeader(const std::string& text);
  // H rows of W doubles: sample * slope + intercept.  False for types that are not converted.
  bool getVolumeGray(double** rows);
  // RGB samples into three sets of H rows of W doubles (0-255).
  bool getVolumeColor(double** red, double** green, double** blue);
};

// Reads a list of single-image DICOM files, one per z slice, into a new float volume
// values[z*W*H + y*W + x] in the file's units (Hounsfield units for CT).  The slices are ordered by
// their position along the slice normal (the z axis when the files carry no orientation), and the
// distance of neighbouring positions is the z pitch; a series whose spacing is uneven loads with a
// console line saying so.  When the positions do not separate the slices (files without one read
// as the origin), the list order stays and the z pitch is the spacing between slices, else the
// slice thickness.  pitch (when given) receives the pixel spacing and that z pitch.  Messages for
// the user on failure.  The list is emptied in every case.
bool t_loadVolDcm(std::vector<std::string>& fileNames, int* W, int* H, int* D, float** values,
                  double pitch[3] = nullptr);
