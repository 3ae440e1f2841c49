# Which Python the module `quern` is built for. The system's own python3 unless the configure
# line names another with -DPython3_EXECUTABLE: the first python3 on PATH is often a user's
# private build (pyenv, conda) that neither the distribution's packages nor other users share,
# and a module built for it is installed where the system interpreter never looks.
if(UNIX AND NOT CMAKE_CROSSCOMPILING AND NOT DEFINED Python3_EXECUTABLE
   AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "The Python interpreter quern is built for")
endif()
