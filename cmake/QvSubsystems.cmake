# The subsystems as layers, top to bottom: a folder under src/ includes only
# the folders after it here (tools/check-layers.py, a test entry, holds the
# code to this order). Each folder becomes one static library "qv_<name>" once
# it holds code; files are picked up by globbing, subfolders included (a large
# folder groups its files by what they share), so adding a source file needs
# no change here.
set(QV_SUBSYSTEMS program selftest setup routes update engine gamesource foundation)

# Windows libraries the subsystems call into.
set(QV_SYSTEM_LIBS
    winhttp bcrypt crypt32 comctl32 comdlg32 shell32 shlwapi ole32 oleaut32 uuid
    advapi32 user32 gdi32 version)

set(QV_LIBRARIES "")

function(qv_add_subsystem name)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/src/${name}/*.cpp
       ${CMAKE_SOURCE_DIR}/src/${name}/*.c)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(NOT sources)
    return()
  endif()
  add_library(qv_${name} STATIC ${sources})
  target_include_directories(qv_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src ${QV_GENERATED_DIR})
  target_link_libraries(qv_${name} PUBLIC ZLIB::ZLIB ${QV_SYSTEM_LIBS})
  set(QV_LIBRARIES ${QV_LIBRARIES} qv_${name} PARENT_SCOPE)
endfunction()

# Links a target against every subsystem library, top layer first: a layer
# calls only those below it, so one pass of the linker over the archives in
# this order finds every symbol.
function(qv_link_subsystems target)
  target_link_libraries(${target} PRIVATE ${QV_LIBRARIES})
  target_link_libraries(${target} PRIVATE ZLIB::ZLIB ${QV_SYSTEM_LIBS})
endfunction()
