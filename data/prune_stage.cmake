# Removes from the staged Data tree every file that the build does not put
# there (what a dropped source left behind, a tool's half-written output).
# Usage: cmake -DSTAGE=FOLDER -DKEEP=a/b.txt,c/d.msh -P prune_stage.cmake
cmake_minimum_required(VERSION 3.25)
string(REPLACE "," ";" keep "${KEEP}")
file(GLOB_RECURSE present RELATIVE ${STAGE} LIST_DIRECTORIES false ${STAGE}/*)
foreach(file IN LISTS present)
  if(NOT file IN_LIST keep)
    message(STATUS "Dropping ${file} from the staged data")
    file(REMOVE ${STAGE}/${file})
  endif()
endforeach()
