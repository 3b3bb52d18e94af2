#pragma once
// Our small layer over GLSL, standing where a shader runtime would: reading a program file,
// compiling one entry point of it for a stage, linking, and finding named parameters.
//
// A program file holds all its entry points; the entry to build is chosen by defines inserted
// after the "#version" line (for instance "#define Frag_Main_2 main"), and the file's own
// "#ifdef VERTEX_STAGE" / "#ifdef FRAGMENT_STAGE" blocks keep each stage's code apart.  A line
// '#include "name"' is replaced by the named file of the same folder (one level deep).
//
// Needs a current GL context with GLEW loaded; no GL header here (GL names are unsigned ints).
#include <set>
#include <string>
#include <vector>

enum class TGlslStage { Vertex, Fragment };

// False (and a message in error) when the file or an included file cannot be read.
bool t_glslReadSource(const std::string& path, std::string& source, std::string& error);
// The source with the defines placed after its "#version" line (or at the top without one).
std::string t_glslWithDefines(const std::string& source, const std::vector<std::string>& defines);
// Compiled shader name, or 0 with the compiler's log.
unsigned int t_glslCompile(TGlslStage stage, const std::string& source,
                           const std::vector<std::string>& defines, std::string& log);
// Linked program of a vertex and a fragment shader, or 0 with the linker's log.
unsigned int t_glslLink(unsigned int vertexShader, unsigned int fragmentShader, std::string& log);
void t_glslDeleteShader(unsigned int shader);
void t_glslDeleteProgram(unsigned int program);
// Uniform names the source declares: "name" for plain uniforms and arrays, "instance.member" for
// the members of a uniform of a struct type declared in the same source.
std::set<std::string> t_glslDeclaredUniforms(const std::string& source);
// Location of a named uniform in a linked program (-1 when the program does not read it).
int t_glslUniformLocation(unsigned int program, const char* name);
// True when GLSL programs can be made in the current context.
bool t_glslAvailable();
// True when some GL context is current.
bool t_glHasCurrentContext();
