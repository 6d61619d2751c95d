# Each program's builds, time relative to its b0.  Set by report.py: data.
set title "Each program's builds side by side (time relative to b0 of the same program)"
set ylabel "time ÷ time of b0"
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.8 border -1
set datafile missing "-"
set yrange [0:*]
set xtics rotate by 30 right noenhanced
set grid ytics lc rgb "#dddddd"
set key outside right top vertical box
set bmargin 9
set label 1 "* sample input: the whole run is start-up" at screen 0.99, screen 0.03 right
plot for [build = 2:5] data."/builds.dat" using build:xtic(1) title columnheader(build)
