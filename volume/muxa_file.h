#pragma once
// The combined volume-and-mask file ".muxa", the exchange format with the host application:
// five text lines ("PELKO-MUXA", bits per voxel 8 or 24, "I", "W,H,D", "px,py,pz"), the 8-bit
// volume block (1 or 3 bytes per voxel), the mask block (1 byte per voxel), 256 x 4 bytes of
// region colour and alpha, three line feeds.  Rows of every slice are stored bottom row first;
// the reader hands them over in file order (the volume loader reverses them).
#include <string>
#include <vector>

class TOGL3DImage;

// Reads a ".muxa" file.  On success: *W, *H, *D, the channel values (new float[W*H*D] each,
// owned by the caller; channel2 and channel3 only for 24-bit files, which give three channels),
// the mask (reallocated to W x H x D), *channelCount (1 or 3), the pitch and the 1024-byte colour
// table.  A file that cannot be opened, lacks the magic line, has a broken header or blocks
// shorter than its header says is refused: false, nothing written to the outputs, and the reason
// shown to the user (or stored in *error instead, when error is given).
bool t_loadVolMuxa(const std::string& path, int* W, int* H, int* D, float** channel1,
                   float** channel2, float** channel3, TOGL3DImage* mask, int* channelCount,
                   double pitch[3], std::vector<unsigned char>& colourTable,
                   std::string* error = nullptr);
