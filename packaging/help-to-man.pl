#!/usr/bin/perl
# Turns the overview of `dtuconf --help` into the SYNOPSIS and DESCRIPTION of its manual page,
# as a help2man include. help2man reads a tag of one line per entry, so commands with several
# forms (poll export / poll import) and forms wrapped over several lines came out as run-on
# text; here each form is a tag of its own and the help under the last one is its description.
#
# The overview's layout: the usage lines, then headings at the margin, each followed by its
# entries: a form at two blanks, a form's further lines indented deeper, the help at column 43
# (beside the form or on lines of its own); paragraphs of text at the margin end it.
#
# usage: help-to-man.pl PROGRAM OUTPUT
use strict;
use warnings;

my ($program, $output) = @ARGV;
die "usage: help-to-man.pl PROGRAM OUTPUT\n" unless defined $output;
my $helpColumn = 43;

open(my $in, '-|', $program, '--help') or die "$program: $!\n";
my @lines = <$in>;
close($in) or die "$program --help failed\n";
chomp @lines;

# Text for roff: backslashes and minus signs spelt out, no request at a line's start.
sub roff {
    my ($text) = @_;
    $text =~ s/\\/\\e/g;
    $text =~ s/-/\\-/g;
    $text =~ s/^([.'])/\\&$1/;
    return $text;
}

# A form with its command (or option) in bold.
sub form {
    my ($text) = @_;
    my ($name, $rest) = $text =~ /^(-{0,2}[a-z][\w-]*(?: [a-z][\w-]*(?= |$))*)(.*)$/
        or return roff($text);
    return '\fB' . roff($name) . '\fR' . roff($rest);
}

my @synopsis;
while (@lines && $lines[0] ne '') {
    my $line = shift @lines;
    $line =~ s/^(?:usage:)?\s*//;
    push @synopsis, form($line);
}

my @out;
my @forms;  # the forms of the entry being read
my @help;   # and its help
my @text;   # a paragraph at the margin

sub flushEntry {
    return unless @forms;
    push @out, '.TP', form(shift @forms);
    push @out, '.TQ', form($_) for @forms;
    push @out, map { roff($_) } @help;
    @forms = ();
    @help = ();
}

sub flushText {
    return unless @text;
    push @out, '.PP', map { roff($_) } @text;
    @text = ();
}

for my $i (0 .. $#lines) {
    my $line = $lines[$i];
    if ($line eq '') {
        flushEntry();
        flushText();
    } elsif ($line =~ /^\S/) {
        flushEntry();
        if (($lines[$i + 1] // '') =~ /^  \S/) {
            flushText();
            (my $heading = roff($line)) =~ s/"/\\(dq/g;
            push @out, ".SS \"$heading\"";
        } else {
            push @text, $line;
        }
    } elsif ($line =~ /^ {$helpColumn}(\S.*)$/) {
        push @help, $1;
    } elsif ($line =~ /^  (\S.*)$/) {
        my $entry = $1;
        my $beside;
        if (length($line) > $helpColumn && substr($line, $helpColumn - 2, 2) eq '  ') {
            $beside = substr($line, $helpColumn);
            ($entry = substr($line, 2, $helpColumn - 2)) =~ s/\s+$//;
        }
        flushEntry() if @help;
        push @forms, $entry;
        push @help, $beside if defined $beside;
    } elsif ($line =~ /^\s+(\S.*)$/ && @forms && !@help) {
        $forms[-1] .= " $1";  # a form goes on
    } else {
        die "$program --help: line " . ($i + 1) . " has an unknown layout: $line\n";
    }
}
flushEntry();
flushText();

open(my $file, '>', $output) or die "$output: $!\n";
print $file "[SYNOPSIS]\n", join("\n.br\n", @synopsis), "\n";
# Ragged right and unhyphenated: justified, the long forms spread their words apart, and options
# and words of the help broken at a hyphen read as something else.
print $file "[=DESCRIPTION]\n.na\n.nh\n", join("\n", @out), "\n.ad\n.hy\n";
close($file) or die "$output: $!\n";
