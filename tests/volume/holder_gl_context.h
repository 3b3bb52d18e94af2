#pragma once
// A compatibility-profile GL context on an offscreen surface, made current on creation.  Kept in
// its own source so that Qt's GL headers never meet GLEW's.
#include <memory>

class HolderGLContext {
 public:
  HolderGLContext();
  ~HolderGLContext();
  bool ok() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m;
};
