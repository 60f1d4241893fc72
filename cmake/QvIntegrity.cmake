# The build step that stamps a linked program with its integrity digest
# (tools/stamp-integrity.py), so that the program's check of its own file
# passes. The field lives in the foundation library; naming its symbol keeps it
# in the program even while no code of the program calls the check yet.
find_program(QV_PYTHON3 python3 REQUIRED)

function(qv_stamp_integrity target)
  target_link_options(${target} PRIVATE "LINKER:--undefined=qv_setup_integrity_field")
  add_custom_command(TARGET ${target} POST_BUILD
                     COMMAND ${QV_PYTHON3} ${CMAKE_SOURCE_DIR}/tools/stamp-integrity.py $<TARGET_FILE:${target}>
                     COMMENT "Stamping the integrity digest into $<TARGET_FILE_NAME:${target}>"
                     VERBATIM)
endfunction()
