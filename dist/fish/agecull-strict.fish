# fish completion for agecull-strict
#
#   agecull-strict PATTERN DAYS [/Q|/L] [/S] [/KEEP:n] [/MAX:n]
#
# The pattern completes to file and directory names. Open a quote first ('logs/): fish
# keeps it open after a directory, so that a wildcard typed after it reaches agecull-strict as it
# is instead of being expanded by fish. The day count gets no candidates. After it, each
# switch not yet given is offered (/Q and /L exclude each other); fish adds no space after
# /KEEP: and /MAX:, as a number follows.

# Succeeds when the word being completed comes after the day count, among the at most four
# switches, and none of the switches named in argv has been given yet.
function __agecull_strict_may_give
    set -l words (commandline --tokenize --cut-at-cursor)
    test (count $words) -ge 3 -a (count $words) -le 6; or return 1
    for word in $words[4..]
        contains -- (string upper -- (string replace --regex -- ':.*' ':' $word)) $argv; and return 1
    end
    return 0
end

complete --command agecull-strict --no-files
complete --command agecull-strict --condition '__fish_is_nth_token 1' --force-files
complete --command agecull-strict --condition '__agecull_strict_may_give /Q /L' --arguments /Q --description 'delete without asking'
complete --command agecull-strict --condition '__agecull_strict_may_give /Q /L' --arguments /L --description 'list only, delete nothing'
complete --command agecull-strict --condition '__agecull_strict_may_give /S' --arguments /S --description 'sweep every subdirectory too'
complete --command agecull-strict --condition '__agecull_strict_may_give /KEEP:' --arguments /KEEP: --description 'keep the n newest of each directory'
complete --command agecull-strict --condition '__agecull_strict_may_give /MAX:' --arguments /MAX: --description 'delete nothing past n deletions'
