// Tag names of the TIFF reader and writers: the public registry's tags (baseline TIFF 6.0 and its
// published extensions) and our private volume tags.  Names serve for traces and for looking
// tags up by name; every tag access of the reader and writers goes through tagIdByName.
#include <map>
#include <mutex>
#include <string>

#include "volume/TTiffIO.h"

namespace {

struct TagRow {
  unsigned short id;
  const char* name;
};

// One row per tag number.  Where two names share a number the first one is kept.
const TagRow kTagRows[] = {
    {0, "UNKNOWN"},
    // Baseline and extended TIFF 6.0.
    {254, "SUBFILETYPE"}, {255, "OSUBFILETYPE"}, {256, "IMAGEWIDTH"}, {257, "IMAGELENGTH"},
    {258, "BITSPERSAMPLE"}, {259, "COMPRESSION"}, {262, "PHOTOMETRIC"}, {263, "THRESHHOLDING"},
    {264, "CELLWIDTH"}, {265, "CELLLENGTH"}, {266, "FILLORDER"}, {269, "DOCUMENTNAME"},
    {270, "IMAGEDESCRIPTION"}, {271, "MAKE"}, {272, "MODEL"}, {273, "STRIPOFFSETS"},
    {274, "ORIENTATION"}, {277, "SAMPLESPERPIXEL"}, {278, "ROWSPERSTRIP"},
    {279, "STRIPBYTECOUNTS"}, {280, "MINSAMPLEVALUE"}, {281, "MAXSAMPLEVALUE"},
    {282, "XRESOLUTION"}, {283, "YRESOLUTION"}, {284, "PLANARCONFIG"}, {285, "PAGENAME"},
    {286, "XPOSITION"}, {287, "YPOSITION"}, {288, "FREEOFFSETS"}, {289, "FREEBYTECOUNTS"},
    {290, "GRAYRESPONSEUNIT"}, {291, "GRAYRESPONSECURVE"}, {292, "GROUP3OPTIONS"},
    {292, "T4OPTIONS"}, {293, "GROUP4OPTIONS"}, {293, "T6OPTIONS"}, {296, "RESOLUTIONUNIT"},
    {297, "PAGENUMBER"}, {300, "COLORRESPONSEUNIT"}, {301, "TRANSFERFUNCTION"},
    {305, "SOFTWARE"}, {306, "DATETIME"}, {315, "ARTIST"}, {316, "HOSTCOMPUTER"},
    {317, "PREDICTOR"}, {318, "WHITEPOINT"}, {319, "PRIMARYCHROMATICITIES"}, {320, "COLORMAP"},
    {321, "HALFTONEHINTS"}, {322, "TILEWIDTH"}, {323, "TILELENGTH"}, {324, "TILEOFFSETS"},
    {325, "TILEBYTECOUNTS"}, {326, "BADFAXLINES"}, {327, "CLEANFAXDATA"},
    {328, "CONSECUTIVEBADFAXLINES"}, {330, "SUBIFD"}, {332, "INKSET"}, {333, "INKNAMES"},
    {334, "NUMBEROFINKS"}, {336, "DOTRANGE"}, {337, "TARGETPRINTER"}, {338, "EXTRASAMPLES"},
    {339, "SAMPLEFORMAT"}, {340, "SMINSAMPLEVALUE"}, {341, "SMAXSAMPLEVALUE"},
    {343, "CLIPPATH"}, {344, "XCLIPPATHUNITS"}, {345, "YCLIPPATHUNITS"}, {346, "INDEXED"},
    {347, "JPEGTABLES"}, {351, "OPIPROXY"},
    // Fax profiles (RFC 2301).
    {400, "GLOBALPARAMETERSIFD"}, {401, "PROFILETYPE"}, {402, "FAXPROFILE"},
    {403, "CODINGMETHODS"}, {404, "VERSIONYEAR"}, {405, "MODENUMBER"}, {433, "DECODE"},
    {434, "IMAGEBASECOLOR"}, {435, "T82OPTIONS"},
    // Old-style JPEG.
    {512, "JPEGPROC"}, {513, "JPEGIFOFFSET"}, {514, "JPEGIFBYTECOUNT"},
    {515, "JPEGRESTARTINTERVAL"}, {517, "JPEGLOSSLESSPREDICTORS"}, {518, "JPEGPOINTTRANSFORM"},
    {519, "JPEGQTABLES"}, {520, "JPEGDCTABLES"}, {521, "JPEGACTABLES"},
    // YCbCr.
    {529, "YCBCRCOEFFICIENTS"}, {530, "YCBCRSUBSAMPLING"}, {531, "YCBCRPOSITIONING"},
    {532, "REFERENCEBLACKWHITE"}, {559, "STRIPROWCOUNTS"}, {700, "XMLPACKET"},
    {32781, "OPIIMAGEID"},
    // Pixar and SGI.
    {32953, "REFPTS"}, {32954, "REGIONTACKPOINT"}, {32955, "REGIONWARPCORNERS"},
    {32956, "REGIONAFFINE"}, {32995, "MATTEING"}, {32996, "DATATYPE"}, {32997, "IMAGEDEPTH"},
    {32998, "TILEDEPTH"}, {33300, "PIXAR_IMAGEFULLWIDTH"}, {33301, "PIXAR_IMAGEFULLLENGTH"},
    {33302, "PIXAR_TEXTUREFORMAT"}, {33303, "PIXAR_WRAPMODES"}, {33304, "PIXAR_FOVCOT"},
    {33305, "PIXAR_MATRIX_WORLDTOSCREEN"}, {33306, "PIXAR_MATRIX_WORLDTOCAMERA"},
    {33405, "WRITERSERIALNUMBER"}, {33421, "CFAREPEATPATTERNDIM"}, {33422, "CFAPATTERN"},
    {33432, "COPYRIGHT"}, {33723, "RICHTIFFIPTC"},
    // IT8 (ANSI IT8.8).
    {34016, "IT8SITE"}, {34017, "IT8COLORSEQUENCE"}, {34018, "IT8HEADER"},
    {34019, "IT8RASTERPADDING"}, {34020, "IT8BITSPERRUNLENGTH"},
    {34021, "IT8BITSPEREXTENDEDRUNLENGTH"}, {34022, "IT8COLORTABLE"},
    {34023, "IT8IMAGECOLORINDICATOR"}, {34024, "IT8BKGCOLORINDICATOR"},
    {34025, "IT8IMAGECOLORVALUE"}, {34026, "IT8BKGCOLORVALUE"},
    {34027, "IT8PIXELINTENSITYRANGE"}, {34028, "IT8TRANSPARENCYINDICATOR"},
    {34029, "IT8COLORCHARACTERIZATION"}, {34030, "IT8HCUSAGE"}, {34031, "IT8TRAPINDICATOR"},
    {34032, "IT8CMYKEQUIVALENT"},
    // Directories and profiles.
    {34232, "FRAMECOUNT"}, {34377, "PHOTOSHOP"}, {34665, "EXIFIFD"}, {34675, "ICCPROFILE"},
    {34732, "IMAGELAYER"}, {34750, "JBIGOPTIONS"}, {34853, "GPSIFD"},
    {34908, "FAXRECVPARAMS"}, {34909, "FAXSUBADDRESS"}, {34910, "FAXRECVTIME"},
    {34911, "FAXDCS"}, {34929, "FEDEX_EDR"}, {37439, "STONITS"},
    {37724, "IMAGESOURCEDATA"}, {40965, "INTEROPERABILITYIFD"},
    // DNG.
    {50706, "DNGVERSION"}, {50707, "DNGBACKWARDVERSION"}, {50708, "UNIQUECAMERAMODEL"},
    {50709, "LOCALIZEDCAMERAMODEL"}, {50710, "CFAPLANECOLOR"}, {50711, "CFALAYOUT"},
    {50712, "LINEARIZATIONTABLE"}, {50713, "BLACKLEVELREPEATDIM"}, {50714, "BLACKLEVEL"},
    {50715, "BLACKLEVELDELTAH"}, {50716, "BLACKLEVELDELTAV"}, {50717, "WHITELEVEL"},
    {50718, "DEFAULTSCALE"}, {50719, "DEFAULTCROPORIGIN"}, {50720, "DEFAULTCROPSIZE"},
    {50721, "COLORMATRIX1"}, {50722, "COLORMATRIX2"}, {50723, "CAMERACALIBRATION1"},
    {50724, "CAMERACALIBRATION2"}, {50725, "REDUCTIONMATRIX1"}, {50726, "REDUCTIONMATRIX2"},
    {50727, "ANALOGBALANCE"}, {50728, "ASSHOTNEUTRAL"}, {50729, "ASSHOTWHITEXY"},
    {50730, "BASELINEEXPOSURE"}, {50731, "BASELINENOISE"}, {50732, "BASELINESHARPNESS"},
    {50733, "BAYERGREENSPLIT"}, {50734, "LINEARRESPONSELIMIT"}, {50735, "CAMERASERIALNUMBER"},
    {50736, "LENSINFO"}, {50737, "CHROMABLURRADIUS"}, {50738, "ANTIALIASSTRENGTH"},
    {50739, "SHADOWSCALE"}, {50740, "DNGPRIVATEDATA"}, {50741, "MAKERNOTESAFETY"},
    // Private volume tags: depth, pitch and time of the volume.
    {65003, "B_SIZEZ"}, {65004, "B_SIZET"}, {65005, "B_ZNUMBER"}, {65006, "B_PITCHX"},
    {65007, "B_PITCHY"}, {65008, "B_PITCHZ"}, {65009, "B_PITCHUNIT"}, {65012, "B_PITCHT"},
    {65013, "B_TIMENUMBER"}, {65014, "B_ACTUALTIME"}, {65015, "B_TIMEUNIT"},
    {65021, "B_ORIGINX"}, {65022, "B_ORIGINY"}, {65023, "B_ORIGINZ"}, {65024, "B_ORIGINT"},
    {65030, "B_DATECREATED"},
};

struct TagTable {
  std::map<unsigned short, std::string> byId;
  std::map<std::string, unsigned short> byName;  // the smallest number of each name
};

const TagTable& tagTable() {
  static std::once_flag once;
  static TagTable table;
  std::call_once(once, [] {
    for (const TagRow& r : kTagRows) {
      if (table.byId.count(r.id)) continue;  // a second name of a number is dropped
      table.byId[r.id] = r.name;
    }
    // Ascending number order, so the first match of a name is its smallest number.
    for (const auto& [id, name] : table.byId) table.byName.emplace(name, id);
  });
  return table;
}

}  // namespace

uint16_t TTiffIO::tagIdByName(const std::string& name) {
  size_t b = 0, e = name.size();
  while (b < e && (name[b] < 'A' || name[b] > 'z')) ++b;
  while (e > b && (name[e - 1] < 'A' || name[e - 1] > 'z')) --e;
  std::string key = name.substr(b, e - b);
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  const TagTable& t = tagTable();
  auto it = t.byName.find(key);
  return it == t.byName.end() ? 0 : it->second;
}

const char* TTiffIO::tagNameById(uint16_t id) {
  const TagTable& t = tagTable();
  auto it = t.byId.find(id);
  return it == t.byId.end() ? "UNKNOWN" : it->second.c_str();
}

int TTiffIO::tagNameCount() { return int(tagTable().byId.size()); }
