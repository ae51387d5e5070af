# Run by cpack before it makes the Debian package: the package's Depends
# come from dpkg-shlibdeps, and CPack finds the programs to strip and scan
# with file. Without either it would quietly make a package without them.
foreach(tool dpkg-shlibdeps file)
  # PATH only, as a shell would run it.
  find_program(tool_path ${tool} NO_CMAKE_SYSTEM_PATH NO_CMAKE_INSTALL_PREFIX)
  if(NOT tool_path)
    message(FATAL_ERROR "cpack needs ${tool} to make the Debian package: apt-get install "
                        "dpkg-dev file")
  endif()
  unset(tool_path CACHE)
  unset(tool_path)
endforeach()
