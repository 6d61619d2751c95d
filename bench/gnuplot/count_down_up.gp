# count_down_up's output rate against that of seq and of a writer of a
# prebuilt buffer.  Set by report.py: data, limit (that writer's rate into
# the pipe, MB/s).
set title "count\\_down\\_up with n = 50,000,000: output rate"
set ylabel "MB/s"
set style data histograms
set style fill solid 0.75 border -1
set boxwidth 0.7
set yrange [0:*]
set offsets 0, 0, graph 0.08, 0
set xtics rotate by 25 right noenhanced
set grid ytics lc rgb "#dddddd"
set key top left box opaque
set bmargin 10
set lmargin 10
plot data."/throughput.dat" using 2:xtic(1) lc rgb "#4477aa" title "output rate", \
     "" using 0:2:(sprintf("%.0f", $2)) with labels offset 0, 0.8 notitle, \
     limit with lines dt 2 lw 2 lc rgb "#aa0000" title sprintf("pipe limit: prebuilt buffer into | wc -c (%.0f MB/s)", limit)
