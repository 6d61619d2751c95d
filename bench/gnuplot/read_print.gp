# Reading and printing throughput of the suite's reader and printer against
# their floors, the C library and fmt.  Set by report.py: data (read_print.dat:
# position, MB/s, colour, label and kind of each bar).
set title "Reading and printing 10,000,000 numbers: throughput of the whole run"
set ylabel "MB/s (logarithmic)"
set logscale y
set yrange [10:*]
set offsets 0.6, 0.6, graph 0.25, 0
set style fill solid 0.8 border -1
set boxwidth 0.7
set xtics rotate by 25 right noenhanced
set grid ytics mytics lc rgb "#dddddd"
set key top right box opaque
set bmargin 10
set lmargin 10
set label 1 "reading" at first 1, graph 0.96 center
set label 2 "printing" at first 6, graph 0.96 center
plot data."/read_print.dat" using 1:2:3:xtic(4) with boxes lc rgb variable notitle, \
     "" using 1:2:(sprintf("%.0f", $2)) with labels offset 0, 0.8 notitle, \
     keyentry with boxes lc rgb "#4477aa" title "the suite", \
     keyentry with boxes lc rgb "#999999" title "floor", \
     keyentry with boxes lc rgb "#cc6677" title "C library", \
     keyentry with boxes lc rgb "#228833" title "fmt"
