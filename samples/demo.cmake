# Runs the last build of every program once on its sample input and shows
# the dialogue: invoked by the "demo" target with BIN_DIR and SAMPLES set.
file(GLOB samples ${SAMPLES}/*.in)
foreach(sample IN LISTS samples)
  get_filename_component(program ${sample} NAME_WE)
  file(GLOB builds ${BIN_DIR}/${program}_b*)
  list(SORT builds)
  list(POP_BACK builds executable)
  get_filename_component(name ${executable} NAME)
  file(READ ${sample} input)
  execute_process(COMMAND ${executable} INPUT_FILE ${sample} OUTPUT_VARIABLE output RESULT_VARIABLE status)
  message("==> ${name} < samples/${program}.in\n--- input:\n${input}--- output:\n${output}--- exit status ${status}\n")
endforeach()
