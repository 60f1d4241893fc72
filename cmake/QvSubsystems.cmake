# The subsystems in the order they build on each other. Each folder under src/
# becomes one static library "qv_<name>" once it holds code; files are picked
# up by globbing, subfolders included (a large folder groups its files by the
# prefixes their names share), so adding a source file needs no change here.
set(QV_SUBSYSTEMS foundation gamesource engine setup update routes selftest program)

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

# Links a target against every subsystem library. The subsystems call each other
# both ways (the entry point runs the self tests, the self tests drive the
# engine), so the archives are linked as one group.
function(qv_link_subsystems target)
  if(QV_LIBRARIES)
    list(JOIN QV_LIBRARIES "," group)
    target_link_libraries(${target} PRIVATE "$<LINK_GROUP:RESCAN,${group}>")
  endif()
  target_link_libraries(${target} PRIVATE ZLIB::ZLIB ${QV_SYSTEM_LIBS})
endfunction()
