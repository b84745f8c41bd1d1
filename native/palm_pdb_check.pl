#!/usr/bin/perl
# The database file format against an independent implementation of it (Palm::PDB): the
# record and resource databases it writes are read by DatabaseImage and written back byte
# for byte, and every copy DatabaseImage writes of the fuzz seeds that Palm::PDB reads
# parses with it to what the seed held.
#   palm_pdb_check.pl DBIMAGE_COPY SEED_FOLDER
use strict;
use warnings;
use File::Compare;
use File::Temp qw(tempdir);
use Palm::Raw;

Palm::PDB::RegisterPRCHandlers("Palm::Raw", ["", ""]);  # Palm::Raw claims record databases only

my ($copy, $seeds) = @ARGV;
my $dir = tempdir(CLEANUP => 1);
my $failures = 0;

sub check {
    my ($ok, $what) = @_;
    print +($ok ? "ok" : "FAILED"), " - $what\n";
    $failures++ unless $ok;
}

# What a reader sees in a file: the header fields, the blocks and every record or resource
# with its attributes, ID and data; undef when Palm::PDB cannot read it.
sub contents {
    my $pdb = Palm::Raw->new;
    local $SIG{__WARN__} = sub {};
    return undef unless eval { $pdb->Load($_[0]) };
    my @lines = map { "$_=" . ($pdb->{$_} // "") }
        qw(name version ctime mtime baktime modnum type creator uniqueIDseed appinfo sort);
    push @lines, join ",", sort keys %{$pdb->{attributes}};
    for my $item (@{$pdb->{resources} || $pdb->{records} || []}) {
        push @lines, join "|", map { my $v = $item->{$_}; "$_=" . (ref $v ? join(",", sort keys %$v) : $v) }
            grep { $_ ne "offset" } sort keys %$item;
    }
    return join "\n", @lines;
}

sub database {
    my ($file, $resource, $blocks, @items) = @_;
    my $pdb = Palm::Raw->new({ name => "Check $file", type => "DATA", creator => "Chk1",
                               version => 3, modnum => 9, uniqueIDseed => 0x00ABC000 });
    $pdb->{attributes}{$_} = 1 for "backup", $resource ? "resource" : ();
    ($pdb->{appinfo}, $pdb->{sort}) = ("application block", "sort") if $blocks;
    for my $i (0 .. $#items) {
        if ($resource) {
            $pdb->append_Resource({ type => "tRS$i", id => 1000 + $i, data => $items[$i] });
        } else {
            $pdb->append_Record({ id => 0x123400 + $i, category => $i % 16, data => $items[$i],
                                  attributes => { dirty => $i % 2, private => $i == 2 } });
        }
    }
    $pdb->Write("$dir/$file") or die "cannot write $file";
    return "$dir/$file";
}

my @written = (database("records.pdb", 0, 1, "first", "x" x 5000, "third\0record"),
               database("plain.pdb", 0, 0, "only"),
               database("resources.prc", 1, 1, "code", "\x00\x01\x02", "y" x 300));
for my $file (@written) {
    my $out = "$file.copy";
    check(system($copy, $file, $out) == 0, "$file read and written");
    check(compare($file, $out) == 0, "$file written back byte for byte");
}
for my $seed (glob "$seeds/*") {
    my $out = "$dir/seed.copy";
    unlink $out;
    next unless system("$copy '$seed' '$out' 2>/dev/null") == 0;
    my $want = contents($seed);
    my $got = contents($out);
    # A name that fills its field without a NUL is one Palm::PDB refuses; the image keeps it.
    next unless defined $want;
    check(defined $got && $got eq $want, "the copy of $seed parses to what it held");
}
exit($failures ? 1 : 0);
