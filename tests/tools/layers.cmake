# The command-line program links no widget, Gui or chart library (the build checks its logic libraries
# when it configures; this checks what the linker made of them).
if(TARGET tallyctl)
  add_test(NAME layers_tallyctl
           COMMAND sh -c "! objdump -p \"$0\" | grep -E 'NEEDED.*(Qt6Widgets|Qt6Gui|QCustomPlot)'"
                   $<TARGET_FILE:tallyctl>)
  set_tests_properties(layers_tallyctl PROPERTIES LABELS logic)
endif()

# The client loads no browser engine: reports run in the viewer program.
if(TARGET tallyview)
  add_test(NAME layers_tallyview
           COMMAND sh -c "! objdump -p \"$0\" | grep -E 'NEEDED.*(WebEngine|Quick|Qml)'" $<TARGET_FILE:tallyview>)
  set_tests_properties(layers_tallyview PROPERTIES LABELS logic)
endif()
