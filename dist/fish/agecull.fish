# fish completion for agecull
#
#   agecull PATTERN DAYS [/Q|/L]
#
# The pattern completes to file and directory names. Open a quote first ('logs/): fish
# keeps it open after a directory, so that a wildcard typed after it reaches agecull as it
# is instead of being expanded by fish. The day count gets no candidates; the third place
# offers /Q and /L.
complete --command agecull --no-files
complete --command agecull --condition '__fish_is_nth_token 1' --force-files
complete --command agecull --condition '__fish_is_nth_token 3' --arguments /Q --description 'delete without asking'
complete --command agecull --condition '__fish_is_nth_token 3' --arguments /L --description 'list only, delete nothing'
