# fish completion for corvane(1)

set -l subcommands fingerprint hash dupes assets albums in-album call catalog help
set -l catalog_subcommands scan verify diff export merge roots forget where

# Names are offered only where a subcommand takes files.
complete -c corvane -f

# Common options, before or after the subcommand.
complete -c corvane -s h -l help -d 'Print the usage'
complete -c corvane -s q -l quiet -d 'No progress display; when checking, no OK lines'
complete -c corvane -s v -l verbose -d "Show the plug-in's own lines"
complete -c corvane -l trace -d "Show each call's and reply's bytes"
complete -c corvane -l plugin -r -F -d 'The plug-in library to load'
complete -c corvane -n __fish_use_subcommand -l version -d 'Print the versions'

complete -c corvane -n __fish_use_subcommand -a fingerprint -d 'Print sampled fingerprints'
complete -c corvane -n __fish_use_subcommand -a hash -d 'Print SHA-256 hashes of whole files'
complete -c corvane -n __fish_use_subcommand -a dupes -d 'Print groups of files with identical content'
complete -c corvane -n __fish_use_subcommand -a assets -d "List the photo library's assets"
complete -c corvane -n __fish_use_subcommand -a albums -d "List the photo library's albums"
complete -c corvane -n __fish_use_subcommand -a in-album -d 'Tell whether an asset lies in an album'
complete -c corvane -n __fish_use_subcommand -a call -d 'Send one call on the channel'
complete -c corvane -n __fish_use_subcommand -a catalog -d 'Keep fingerprints in a catalog'
complete -c corvane -n __fish_use_subcommand -a help -d "A subcommand's usage"
complete -c corvane -n "__fish_seen_subcommand_from help; and not __fish_seen_subcommand_from $subcommands[1..-2]" \
    -a "$subcommands[1..-2]"
complete -c corvane -n "__fish_seen_subcommand_from help; and __fish_seen_subcommand_from catalog" \
    -a "$catalog_subcommands"

# What a walk leaves out: fingerprint, hash, dupes and catalog scan
set -l walks "__fish_seen_subcommand_from catalog; and __fish_seen_subcommand_from scan; or __fish_seen_subcommand_from fingerprint hash dupes"
complete -c corvane -n $walks -l exclude -x -d 'Leave out what the pattern matches'
complete -c corvane -n $walks -l exclude-from -r -F -d 'Leave out what the patterns of the file match'
complete -c corvane -n $walks -s x -l one-file-system -d 'Do not enter other file systems'

# fingerprint and hash
set -l digest "__fish_seen_subcommand_from fingerprint hash"
complete -c corvane -n $digest -F
complete -c corvane -n $digest -s r -l recursive -d 'Walk into folders'
complete -c corvane -n $digest -s L -l follow -d 'With -r, follow links'
complete -c corvane -n $digest -s j -l jobs -x -d 'Calls to run at once, 1 to 1024'
complete -c corvane -n $digest -l json -d 'One JSON object per operand'
complete -c corvane -n $digest -l tag -d 'BSD-style lines'
complete -c corvane -n $digest -s z -l zero -d 'End lines with NUL'
complete -c corvane -n $digest -s b -l binary -d "Mark names with '*'"
complete -c corvane -n $digest -s t -l text -d 'Text mode, the default'
complete -c corvane -n $digest -l asset -d 'The operands are asset identifiers'
complete -c corvane -n $digest -l library -x -a '(__fish_complete_directories)' -d 'The photo library folder'
complete -c corvane -n $digest -s c -l check -d 'Check the digests of the lists'
complete -c corvane -n $digest -l ignore-missing -d 'With -c, pass over missing files'
complete -c corvane -n $digest -l status -d 'With -c, print nothing'
complete -c corvane -n $digest -l strict -d 'With -c, fail on malformed lines'
complete -c corvane -n $digest -s w -l warn -d 'With -c, warn about malformed lines'

# dupes
set -l dupes "__fish_seen_subcommand_from dupes"
complete -c corvane -n $dupes -F
complete -c corvane -n $dupes -s r -l recursive -d 'Walk into folders'
complete -c corvane -n $dupes -s L -l follow -d 'Follow links'
complete -c corvane -n $dupes -s j -l jobs -x -d 'Calls to run at once, 1 to 1024'
complete -c corvane -n $dupes -l min-size -x -d 'Leave out smaller files (10K, 5M, 1G)'
complete -c corvane -n $dupes -l max-size -x -d 'Leave out larger files (10K, 5M, 1G)'
complete -c corvane -n $dupes -l empty -d 'Empty files are duplicates too'
complete -c corvane -n $dupes -s H -l hard-links -d 'Also list names of one file'
complete -c corvane -n $dupes -l probable -d 'Unconfirmed fingerprint matches'
complete -c corvane -n $dupes -l paranoid -d 'Confirm every group byte by byte'
complete -c corvane -n $dupes -l json -d 'One JSON object per group'
complete -c corvane -n $dupes -s 0 -s z -l null -d 'End names with NUL'
complete -c corvane -n $dupes -l library -x -a '(__fish_complete_directories)' -d 'A photo library folder'
complete -c corvane -n $dupes -l album -x -d 'Only the assets of this album'
complete -c corvane -n $dupes -l catalog -r -F -d 'The groups a catalog holds, no file read'
complete -c corvane -n $dupes -l act -x -a 'reflink link remove' -d 'Do this to every duplicate'
complete -c corvane -n $dupes -l from -r -F -d 'Act on a report that --json wrote'
complete -c corvane -n $dupes -l keep -x -a 'first oldest newest shortest' -d 'The file of each group kept'
complete -c corvane -n $dupes -l keep-in -x -a '(__fish_complete_directories)' -d 'Never change files below this folder'
complete -c corvane -n $dupes -l dry-run -d 'Say what --act would do, change nothing'

# The photo library
complete -c corvane -n "__fish_seen_subcommand_from assets albums in-album call" -l library -x \
    -a '(__fish_complete_directories)' -d 'The photo library folder'
complete -c corvane -n "__fish_seen_subcommand_from assets" -l album -x -d 'Only the assets of this album'
complete -c corvane -n "__fish_seen_subcommand_from assets albums" -l json -d 'One JSON object per line'
complete -c corvane -n "__fish_seen_subcommand_from in-album" -l any -d 'Whether the asset exists at all'
complete -c corvane -n "__fish_seen_subcommand_from call; and test (count (commandline -opc)) -le 2" \
    -a 'getPlatformVersion fingerprintOfFile hashFile fingerprintOfVideoAsset hashAsset getIfAssetExistInAlbum'
complete -c corvane -n "__fish_seen_subcommand_from call; and test (count (commandline -opc)) -gt 2" -F

# catalog
set -l catalog "__fish_seen_subcommand_from catalog"
complete -c corvane -n "$catalog; and not __fish_seen_subcommand_from $catalog_subcommands" -a scan \
    -d 'Record every file below the folders'
complete -c corvane -n "$catalog; and not __fish_seen_subcommand_from $catalog_subcommands" -a verify \
    -d 'Re-read the files whose metadata did not change'
complete -c corvane -n "$catalog; and not __fish_seen_subcommand_from $catalog_subcommands" -a diff \
    -d 'Compare two sides'
complete -c corvane -n "$catalog; and not __fish_seen_subcommand_from $catalog_subcommands" -a export \
    -d 'Print a catalog as sha256sum lines'
complete -c corvane -n "$catalog; and not __fish_seen_subcommand_from $catalog_subcommands" -a merge \
    -d 'Take the folders of other catalogs into one'
complete -c corvane -n "$catalog; and not __fish_seen_subcommand_from $catalog_subcommands" -a roots \
    -d 'List the folders and libraries a catalog holds'
complete -c corvane -n "$catalog; and not __fish_seen_subcommand_from $catalog_subcommands" -a forget \
    -d 'Remove folders or libraries from a catalog'
complete -c corvane -n "$catalog; and not __fish_seen_subcommand_from $catalog_subcommands" -a where \
    -d 'Which roots, on which machines, hold a file'
complete -c corvane -n "$catalog; and __fish_seen_subcommand_from $catalog_subcommands" -F
complete -c corvane -n "$catalog; and __fish_seen_subcommand_from scan" -l library -x \
    -a '(__fish_complete_directories)' -d 'Scan this photo library folder'
complete -c corvane -n "$catalog; and __fish_seen_subcommand_from scan diff" -l hash -d 'Record SHA-256 too'
complete -c corvane -n "$catalog; and __fish_seen_subcommand_from scan" -l fingerprint-only \
    -d 'Record only fingerprints'
complete -c corvane -n "$catalog; and __fish_seen_subcommand_from scan verify diff export roots where" -l json \
    -d 'One JSON object per line'
complete -c corvane -n "$catalog; and __fish_seen_subcommand_from scan verify diff where" -s j -l jobs -x \
    -d 'Calls to run at once, 1 to 1024'
complete -c corvane -n "$catalog; and __fish_seen_subcommand_from diff" -l missing -d 'Only what A holds and B lacks'
complete -c corvane -n "$catalog; and __fish_seen_subcommand_from export" -l fingerprint -d 'Fingerprint lines'
