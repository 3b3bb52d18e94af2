! Writes ".sph" volumes with Fortran sequential unformatted records, in both byte orders and both
! precisions, for the reader tests.  usage: files_sph_writer OUTDIR
! Voxel (x, y, z), counted from 0, holds x + 10 y + 100 z + 0.25; the grid is 3 x 4 x 5 and the
! pitch 0.5, 0.75, 1.25.  Origin, step and time hold values the reader must ignore.
program files_sph_writer
  implicit none
  character(len=1024) :: outdir
  call get_command_argument(1, outdir)
  call write_single(trim(outdir)//'/le_single.sph', 'little_endian')
  call write_single(trim(outdir)//'/be_single.sph', 'big_endian')
  call write_double(trim(outdir)//'/le_double.sph', 'little_endian')
  call write_double(trim(outdir)//'/be_double.sph', 'big_endian')
contains
  subroutine write_single(path, order)
    character(len=*), intent(in) :: path, order
    integer(4), parameter :: nx = 3, ny = 4, nz = 5
    real(4) :: v(nx, ny, nz)
    integer :: i, j, k
    do k = 1, nz
      do j = 1, ny
        do i = 1, nx
          v(i, j, k) = real((i - 1) + 10 * (j - 1) + 100 * (k - 1), 4) + 0.25
        end do
      end do
    end do
    open(unit=10, file=path, form='unformatted', access='sequential', status='replace', convert=order)
    write(10) 1_4, 1_4
    write(10) nx, ny, nz
    write(10) 7.0_4, 8.0_4, 9.0_4
    write(10) 0.5_4, 0.75_4, 1.25_4
    write(10) 42_4, 3.5_4
    write(10) v
    close(10)
  end subroutine
  subroutine write_double(path, order)
    character(len=*), intent(in) :: path, order
    integer(8), parameter :: nx = 3, ny = 4, nz = 5
    real(8) :: v(nx, ny, nz)
    integer :: i, j, k
    do k = 1, int(nz)
      do j = 1, int(ny)
        do i = 1, int(nx)
          v(i, j, k) = real((i - 1) + 10 * (j - 1) + 100 * (k - 1), 8) + 0.25d0
        end do
      end do
    end do
    open(unit=10, file=path, form='unformatted', access='sequential', status='replace', convert=order)
    write(10) 1_4, 2_4
    write(10) nx, ny, nz
    write(10) 7.0_8, 8.0_8, 9.0_8
    write(10) 0.5_8, 0.75_8, 1.25_8
    write(10) 42_8, 3.5_8
    write(10) v
    close(10)
  end subroutine
end program
