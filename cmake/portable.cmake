# Sources that keep Win32 out of them; they build natively and for Windows alike.
set(PR_PORTABLE_SOURCES
  build/gzcformat.cpp
  build/gzcpack.cpp
  build/gzcfiles.cpp
  engine/peimage.cpp        # where an installer's data ends: the image's end and a signature's table
  build/buildplan.cpp
  build/buildseq.cpp        # the installer build's sequence and a project's opening, for every build
  entries/profile.cpp
  entries/listfiles.cpp
  entries/listprofile.cpp
  engine/regvalue.cpp       # registry roots, value types and value forms, shared with the installer engine
  entries/profile_win.cpp   # the Win32 side of the list files' profile access; empty off Windows
)
set(PR_PORTABLE_INCLUDES ${CMAKE_SOURCE_DIR})
