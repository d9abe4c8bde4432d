# The program's five sounds, synthesised at build time by scripts/make_sounds.py and
# compiled into kv_res as :/res/sounds/<resource number>.wav.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(kv_sound_dir ${CMAKE_CURRENT_BINARY_DIR}/generated)
set(kv_sound_files
    ${kv_sound_dir}/sounds/145.wav
    ${kv_sound_dir}/sounds/146.wav
    ${kv_sound_dir}/sounds/137.wav
    ${kv_sound_dir}/sounds/138.wav
    ${kv_sound_dir}/sounds/178.wav)
add_custom_command(
  OUTPUT ${kv_sound_files}
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/scripts/make_sounds.py ${kv_sound_dir}/sounds
  DEPENDS ${PROJECT_SOURCE_DIR}/scripts/make_sounds.py
  COMMENT "Synthesising the program sounds"
  VERBATIM)
set_source_files_properties(${kv_sound_files} PROPERTIES GENERATED TRUE)
qt_add_resources(kv_res "sounds" PREFIX "/res" BASE ${kv_sound_dir} FILES ${kv_sound_files})
