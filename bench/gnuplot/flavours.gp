# Each program's b2 with the C library's streams against its b2 with the
# fast console: time of the first over the second's.  Set by report.py:
# data (flavours.dat: label, ratio, its spread).
set title "Each program's b2: the C library's streams against the fast console"
set ylabel "stdio time ÷ fast time (logarithmic)"
set logscale y
set yrange [0.5:*]
set offsets 0.6, 0.6, graph 0.15, 0
set style fill solid 0.8 border -1
set boxwidth 0.7
set xtics rotate by 30 right noenhanced
set grid ytics mytics lc rgb "#dddddd"
set bmargin 9
set lmargin 10
set label 1 "* sample input: the whole run is start-up" at screen 0.99, screen 0.03 right
plot data."/flavours.dat" using 0:2:xtic(1) with boxes lc rgb "#4477aa" notitle, \
     "" using 0:2:(sprintf("%.2f", $2)) with labels offset 0, 0.8 notitle, \
     1 with lines dt 2 lw 1.5 lc rgb "#444444" title "the same time"
