#!/usr/bin/perl
# Copies what a program writes into FIFO to standard output, for
# scripts/wine-run.sh. The end of the FIFO is not awaited: a process the
# program started may hold it open long after the program has ended (Wine's
# service processes inherit the standard error of the program that started
# them, and live as long as a persistent wineserver). Instead, when standard
# input reaches its end (the wrapper closes it once the program has ended),
# what the FIFO still holds, which is all the program wrote, is copied, and the
# relay ends: with status 0 when it passed anything on, 1 when not.
#   wine-output-relay.pl FIFO
use strict;
use warnings;
use Errno qw(EAGAIN EINTR);
use Fcntl qw(F_GETFL F_SETFL O_NONBLOCK O_RDWR);

@ARGV == 1 or die "usage: wine-output-relay.pl FIFO\n";
my ($fifo_path) = @ARGV;
# Open for reading and writing: it never blocks, and no writer's end is taken
# for the program's end.
sysopen(my $fifo, $fifo_path, O_RDWR) or die "wine-output-relay: $fifo_path: $!\n";
binmode $_ for $fifo, \*STDIN, \*STDOUT;
my $passed_any = 0;

sub write_all {
    my ($out, $data) = @_;
    my $at = 0;
    while ($at < length $data) {
        my $written = syswrite($out, $data, length($data) - $at, $at);
        if (!defined $written) {
            next if $!{EINTR};
            die "wine-output-relay: $!\n";
        }
        $at += $written;
    }
}

# One read from the FIFO, passed on; false when it held nothing.
sub pass_on {
    my $read = sysread($fifo, my $data, 65536);
    if (!defined $read) {
        return 1 if $!{EINTR};
        return 0 if $!{EAGAIN};
        die "wine-output-relay: $fifo_path: $!\n";
    }
    return 0 if $read == 0;
    write_all(\*STDOUT, $data);
    $passed_any = 1;
    return 1;
}

my $program_ended = 0;
until ($program_ended) {
    my $wanted = '';
    vec($wanted, fileno($fifo), 1) = 1;
    vec($wanted, fileno(STDIN), 1) = 1;
    my $ready = select(my $got = $wanted, undef, undef, undef);
    if ($ready < 0) {
        next if $!{EINTR};
        die "wine-output-relay: select: $!\n";
    }
    pass_on() if vec($got, fileno($fifo), 1);
    if (vec($got, fileno(STDIN), 1)) {
        my $read = sysread(STDIN, my $ignored, 1);
        $program_ended = 1 if defined $read && $read == 0;
    }
}
my $flags = fcntl($fifo, F_GETFL, 0) or die "wine-output-relay: $!\n";
fcntl($fifo, F_SETFL, $flags | O_NONBLOCK) or die "wine-output-relay: $!\n";
1 while pass_on();
exit($passed_any ? 0 : 1);
