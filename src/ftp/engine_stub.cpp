// Engine sources are listed in CMakeLists.txt.
