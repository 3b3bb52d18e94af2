#include "view/glsl_program.h"

#include <GL/glew.h>

#include <fstream>
#include <map>
#include <cctype>
#include <sstream>

namespace {

bool readFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  out = ss.str();
  return true;
}

std::string folderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// '#include "name"' (blanks allowed around the parts) gives name.
bool includedName(const std::string& line, std::string& name) {
  size_t i = line.find_first_not_of(" \t");
  if (i == std::string::npos || line[i] != '#') return false;
  i = line.find_first_not_of(" \t", i + 1);
  if (i == std::string::npos || line.compare(i, 7, "include") != 0) return false;
  size_t q0 = line.find('"', i + 7);
  if (q0 == std::string::npos || line.find_first_not_of(" \t", i + 7) != q0) return false;
  size_t q1 = line.find('"', q0 + 1);
  if (q1 == std::string::npos || q1 == q0 + 1) return false;
  size_t rest = line.find_first_not_of(" \t\r", q1 + 1);
  if (rest != std::string::npos) return false;
  name = line.substr(q0 + 1, q1 - q0 - 1);
  return true;
}

// Identifiers, numbers and single punctuation characters of a source with its comments and
// preprocessor lines removed.
std::vector<std::string> tokens(const std::string& src) {
  std::vector<std::string> out;
  size_t i = 0, n = src.size();
  bool lineStart = true;
  while (i < n) {
    char c = src[i];
    if (c == '\n') {
      lineStart = true;
      ++i;
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (lineStart && c == '#') {
      while (i < n && src[i] != '\n') ++i;
      continue;
    }
    lineStart = false;
    if (c == '/' && i + 1 < n && src[i + 1] == '/') {
      while (i < n && src[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < n && src[i + 1] == '*') {
      size_t e = src.find("*/", i + 2);
      i = e == std::string::npos ? n : e + 2;
      continue;
    }
    if (std::isalnum((unsigned char)c) || c == '_') {
      size_t j = i;
      while (j < n && (std::isalnum((unsigned char)src[j]) || src[j] == '_')) ++j;
      out.push_back(src.substr(i, j - i));
      i = j;
      continue;
    }
    out.push_back(std::string(1, c));
    ++i;
  }
  return out;
}

bool isIdent(const std::string& t) {
  return !t.empty() && (std::isalpha((unsigned char)t[0]) || t[0] == '_');
}

// Names declared by the declarator list toks[b, e) of "type name [n], name, ...": the first
// part's name is its last identifier outside brackets, later parts' names their first.
std::vector<std::string> declaredNames(const std::vector<std::string>& toks, size_t b, size_t e) {
  std::vector<std::string> names;
  std::string last;
  bool first = true, took = false;
  int depth = 0;
  for (size_t i = b; i < e; ++i) {
    const std::string& t = toks[i];
    if (t == "[") ++depth;
    else if (t == "]") --depth;
    else if (t == ",") {
      if (first && !last.empty()) names.push_back(last);
      first = false;
      took = false;
      last.clear();
    } else if (depth == 0 && isIdent(t)) {
      if (first) last = t;
      else if (!took) {
        names.push_back(t);
        took = true;
      }
    }
  }
  if (first && !last.empty()) names.push_back(last);
  return names;
}

}  // namespace

bool t_glslReadSource(const std::string& path, std::string& source, std::string& error) {
  std::string text;
  if (!readFile(path, text)) {
    error = "cannot read " + path;
    return false;
  }
  std::istringstream lines(text);
  std::string line, out;
  while (std::getline(lines, line)) {
    std::string name;
    if (includedName(line, name)) {
      std::string inc;
      std::string incPath = folderOf(path) + name;
      if (!readFile(incPath, inc)) {
        error = "cannot read " + incPath + " (included by " + path + ")";
        return false;
      }
      out += inc;
      if (!inc.empty() && inc.back() != '\n') out += '\n';
    } else {
      out += line;
      out += '\n';
    }
  }
  source = out;
  return true;
}

std::string t_glslWithDefines(const std::string& source, const std::vector<std::string>& defines) {
  std::string block;
  for (const auto& d : defines) block += "#define " + d + "\n";
  size_t v = source.find("#version");
  if (v == std::string::npos) return block + source;
  size_t eol = source.find('\n', v);
  if (eol == std::string::npos) return source + "\n" + block;
  // Keep the line numbers of the file in the compiler's messages.
  return source.substr(0, eol + 1) + block + "#line 2\n" + source.substr(eol + 1);
}

unsigned int t_glslCompile(TGlslStage stage, const std::string& source,
                           const std::vector<std::string>& defines, std::string& log) {
  log.clear();
  if (!t_glslAvailable()) {
    log = "GLSL is not available in this context";
    return 0;
  }
  std::string text = t_glslWithDefines(source, defines);
  GLuint sh = glCreateShader(stage == TGlslStage::Vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
  if (!sh) {
    log = "glCreateShader failed";
    return 0;
  }
  const char* src = text.c_str();
  glShaderSource(sh, 1, &src, nullptr);
  glCompileShader(sh);
  GLint ok = 0, len = 0;
  glGetShaderiv(sh, GL_COMPILE_STATUS, &ok);
  glGetShaderiv(sh, GL_INFO_LOG_LENGTH, &len);
  if (len > 1) {
    std::string buf(size_t(len), '\0');
    glGetShaderInfoLog(sh, len, nullptr, &buf[0]);
    log = buf.c_str();
  }
  if (!ok) {
    glDeleteShader(sh);
    return 0;
  }
  return sh;
}

unsigned int t_glslLink(unsigned int vertexShader, unsigned int fragmentShader, std::string& log) {
  log.clear();
  if (!vertexShader || !fragmentShader || !t_glslAvailable()) {
    log = "nothing to link";
    return 0;
  }
  GLuint prog = glCreateProgram();
  glAttachShader(prog, vertexShader);
  glAttachShader(prog, fragmentShader);
  glLinkProgram(prog);
  GLint ok = 0, len = 0;
  glGetProgramiv(prog, GL_LINK_STATUS, &ok);
  glGetProgramiv(prog, GL_INFO_LOG_LENGTH, &len);
  if (len > 1) {
    std::string buf(size_t(len), '\0');
    glGetProgramInfoLog(prog, len, nullptr, &buf[0]);
    log = buf.c_str();
  }
  glDetachShader(prog, vertexShader);
  glDetachShader(prog, fragmentShader);
  if (!ok) {
    glDeleteProgram(prog);
    return 0;
  }
  return prog;
}

void t_glslDeleteShader(unsigned int shader) {
  if (shader && t_glslAvailable()) glDeleteShader(shader);
}

void t_glslDeleteProgram(unsigned int program) {
  if (program && t_glslAvailable()) glDeleteProgram(program);
}

std::set<std::string> t_glslDeclaredUniforms(const std::string& source) {
  const std::vector<std::string> t = tokens(source);
  std::map<std::string, std::vector<std::string>> structs;
  std::set<std::string> out;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] == "struct" && i + 2 < t.size() && isIdent(t[i + 1]) && t[i + 2] == "{") {
      std::vector<std::string>& members = structs[t[i + 1]];
      size_t j = i + 3;
      while (j < t.size() && t[j] != "}") {
        size_t k = j;
        while (k < t.size() && t[k] != ";" && t[k] != "}") ++k;
        for (const auto& name : declaredNames(t, j, k)) members.push_back(name);
        j = (k < t.size() && t[k] == ";") ? k + 1 : k;
      }
      i = j;
    } else if (t[i] == "uniform") {
      size_t j = i + 1;
      while (j < t.size() && (t[j] == "lowp" || t[j] == "mediump" || t[j] == "highp")) ++j;
      if (j >= t.size()) break;
      const std::string type = t[j];
      size_t k = j + 1;
      while (k < t.size() && t[k] != ";") ++k;
      for (const auto& name : declaredNames(t, j + 1, k)) {
        auto st = structs.find(type);
        if (st == structs.end()) {
          out.insert(name);
        } else {
          for (const auto& member : st->second) out.insert(name + "." + member);
        }
      }
      i = k;
    }
  }
  return out;
}

int t_glslUniformLocation(unsigned int program, const char* name) {
  if (!program || !t_glslAvailable()) return -1;
  return glGetUniformLocation(program, name);
}

bool t_glslAvailable() {
  return t_glHasCurrentContext() && glCreateShader != nullptr && glCreateProgram != nullptr &&
         glGetUniformLocation != nullptr;
}

bool t_glHasCurrentContext() {
  // glGetString answers null without a current context.
  return glGetString(GL_VERSION) != nullptr;
}
