#pragma once
// One shader source file of shader/ turned into GPU programs: the vertex entry "Vert_Main" linked
// with each of the fragment entries "Frag_Main_1", "Frag_Main_2", "Frag_Main_3" (one program per
// number of loaded channels), the locations of its named parameters, and the binding of the
// volume textures, transfer functions, mask colour table, matrix and uniforms before a draw.
//
// The sources are GLSL ("330 compatibility"), compiled on first use through view/glsl_program.
// A file that cannot be built is reported once on the console and never tried again; callers then
// draw their geometry with the fixed-function pipeline (bind does nothing).
//
// No GL header here: the view code that includes this may use Qt's GL headers, which clash with
// GLEW's.
#include <functional>
#include <string>

class TOGL1DImage;

class TSheder {
 public:
  // The fragment parameters, in this order (index into the location table).
  enum FragParam {
    P_IMG1 = 0, P_IMG2, P_IMG3, P_HL, P_MASK, P_GMAG,
    P_TF_I, P_TF_IG, P_TF_MASK, P_TF_HEU, P_TF_IG2D,
    P_EYEPOS, P_ALPHACOEF, P_TEXCDOFFSET, P_OTHERMODE, P_CLPCOLMODE, P_VOLCOLMODE, P_CLIPMODE,
    kFragParamCount
  };
  static const char* const kFragParamNames[kFragParamCount];
  static const char* const kVertMatrixName;  // "modelViewMat"
  static constexpr int kTextureParamCount = 11;

  TSheder();
  explicit TSheder(const std::string& fileName);
  ~TSheder() = default;
  TSheder(const TSheder&) = delete;
  TSheder& operator=(const TSheder&) = delete;

  // Full path of the source (the owner sets it: g_appDir + "shader/visI.glsl").
  std::string fileName;

  // Compiles the vertex entry and the three fragment entries and links one program per fragment
  // entry; fetches the parameter locations.  Needs a current GL context with GLEW loaded.  Prints
  // the console traces of a failed build.  True when at least the vertex entry and one fragment
  // entry linked.
  bool initShader();
  // Initialises once (a failure is reported once and is final), then binds with eye (0, 0, 0),
  // volume colour 1, clip selector clipSel, plane colour planeColourSel, alpha 0, other mode 0.
  // False (nothing bound) when the programs are not available.
  bool ensureInit(int clipSel, int planeColourSel);
  // The same initialisation, then bind with eye, volColourSel, clip 0, plane colour 0, alpha and
  // otherMode.  Used for the volume draws.
  bool ensureInitEx(const double eye[3], int volColourSel, double alpha, int otherMode);
  // Binds the program for the loaded channel count with every texture and uniform.  Does nothing
  // unless initialised.
  void bind(const double eye[3], int volColourSel, int clipSel, int planeColourSel, double alpha,
            int otherMode);
  // Releases the textures of the bound program and the program itself.  Nothing unless bound.
  void unbind();

  bool isInitialised() const { return m_initialised; }
  // The build was tried and failed; it will not be tried again.
  bool hasFailed() const { return m_failed; }

  // The rules of bind, usable without GL.
  // Program index for a channel count: 0 for 1 channel, 1 for 2, 2 otherwise.
  static int programIndexForChannels(int channelCount);
  // Plane and volume colour selectors reduced to 0, 1 or 2 (2 for anything else).
  static int reduceColourSel(int sel);
  // Clip selector to the shader's clip mode: 1->1, 2->3, 3->2, 4->4, 5->5, anything else 0.
  static int clipModeFromSel(int clipSel);
  // (1/W, 1/H, 1/D, 0), each reciprocal computed in double and rounded to float.
  static void texCdOffsetFor(int W, int H, int D, float out[4]);
  // Pseudo-colour table for a volume colour selector: 0 for 2 ("c1"), 1 for 3 ("c2"), else 2.
  static int pseudoColourTableFor(int volColourSel);

  // What the last bind set (for the owner's and the tests' inspection).
  struct Binding {
    int programIndex = -1;
    int clpColMode = 0, volColMode = 0, clipMode = 0, otherMode = 0;
    float eyePos[3] = {0, 0, 0};
    float alphaCoef = 0;
    float texCdOffset[4] = {0, 0, 0, 0};
    int pseudoTable = 2;
  };
  const Binding& lastBinding() const { return m_last; }
  bool isBound() const { return m_bound; }

  // GL names and locations (0 / -1 when missing).
  unsigned int programHandle(int j) const { return (j >= 0 && j < 3) ? m_programs[j] : 0; }
  int matrixLocation(int j) const { return (j >= 0 && j < 3) ? m_mvpLoc[j] : -1; }
  int fragParamLocation(int param, int j) const;
  // The parameter is declared by the source of program j (it may still have no location when
  // that entry does not read it; setting it is then a no-op, like an unreferenced parameter).
  bool fragParamDeclared(int param, int j) const;
  // Texture unit on which bind puts texture parameter k (0..10).
  static int textureUnitOf(int param);

  // The 256-entry region colour table ("tex1D_tfMask"): the mask-ID table's, unless another
  // source is installed (tests); an empty function restores the default.
  static void setMaskColourTableSource(std::function<TOGL1DImage*()> source);

 private:
  bool ensureReady();

  bool m_initialised = false;
  bool m_failed = false;
  bool m_noContextReported = false;
  bool m_bound = false;
  unsigned int m_programs[3] = {0, 0, 0};
  int m_mvpLoc[3] = {-1, -1, -1};
  int m_fragLoc[kFragParamCount][3];
  bool m_declared[kFragParamCount][3] = {};
  Binding m_last;
};
