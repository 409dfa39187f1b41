# On Debian our libraries install to the multiarch directory under any prefix,
# as Debian's own packages have them; the loader, pkg-config and find_package
# all look there (/usr/local/lib/<triplet> included). Set before anything
# includes GNUInstallDirs (Qt's package files do), which would settle on "lib"
# for a prefix other than /usr. A value given on the command line stays.
if(PROJECT_IS_TOP_LEVEL AND EXISTS /etc/debian_version AND CMAKE_LIBRARY_ARCHITECTURE
   AND NOT CMAKE_CROSSCOMPILING)
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH "Object code libraries (LIBDIR)")
endif()
