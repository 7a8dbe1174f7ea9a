// Campos numéricos, paradas de coluna e codificação das linhas.
#include "entrada_saida/formatacao.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

TEST(CampoCientifico, DezesseisAlgarismosEExpoenteDeDoisAlgarismos)
{
    EXPECT_EQ(campo_cientifico(1.0), "    1.000000000000000E+00");
    EXPECT_EQ(campo_cientifico(-1.0), "   -1.000000000000000E+00");
    EXPECT_EQ(campo_cientifico(0.5), "    5.000000000000000E-01");
    EXPECT_EQ(campo_cientifico(0.0), "    0.000000000000000E+00");
    EXPECT_EQ(campo_cientifico(1.0 / 3.0), "    3.333333333333333E-01");
    EXPECT_EQ(campo_cientifico(-2.0 / 3.0), "   -6.666666666666666E-01");
    EXPECT_EQ(campo_cientifico(1.224646799147353e-16), "    1.224646799147353E-16");
    EXPECT_EQ(campo_cientifico(1.0e99), "    1.000000000000000E+99");
    EXPECT_EQ(campo_cientifico(9.9e99), "    9.900000000000001E+99");
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(campo_cientifico(inf), std::string(17, ' ') + "Infinity");
    EXPECT_EQ(campo_cientifico(-inf), std::string(16, ' ') + "-Infinity");
    EXPECT_EQ(campo_cientifico(std::nan("")), std::string(22, ' ') + "NaN");
}

TEST(CampoCientifico, ExpoenteDeTresAlgarismosPerdeALetra)
{
    EXPECT_EQ(campo_cientifico(1.0e-100), "    1.000000000000000-100");
    EXPECT_EQ(campo_cientifico(-1.0e-100), "   -1.000000000000000-100");
    EXPECT_EQ(campo_cientifico(9.9999999999999995e+99), "    1.000000000000000+100");
    EXPECT_EQ(campo_cientifico(9.99999999999999e-100), "    9.999999999999990-100");
    EXPECT_EQ(campo_cientifico(std::numeric_limits<double>::max()), "    1.797693134862316+308");
    EXPECT_EQ(campo_cientifico(std::numeric_limits<double>::denorm_min()), "    4.940656458412465-324");
    EXPECT_EQ(campo_cientifico(std::numeric_limits<double>::min()), "    2.225073858507201-308");
}

TEST(CampoCientifico, ArredondaOValorBinarioExato)
{
    EXPECT_EQ(campo_cientifico(0.1), "    1.000000000000000E-01");
    // 0.1 + 0.2 = 0.3000000000000000444...: 16 algarismos não veem a diferença.
    EXPECT_EQ(campo_cientifico(0.30000000000000004), "    3.000000000000000E-01");
    EXPECT_EQ(campo_cientifico(1.0000000000000002), "    1.000000000000000E+00");
    EXPECT_EQ(campo_cientifico(1.0000000000000007), "    1.000000000000001E+00");
}

TEST(CampoInteiro, DezColunasAlinhadasADireita)
{
    EXPECT_EQ(campo_inteiro(0), "         0");
    EXPECT_EQ(campo_inteiro(-5), "        -5");
    EXPECT_EQ(campo_inteiro(2147483647), "2147483647");
    EXPECT_EQ(campo_inteiro(-999999999), "-999999999");
    EXPECT_EQ(campo_inteiro(std::numeric_limits<std::int32_t>::min()), "**********");
}

TEST(CampoFixo, TresDecimaisSemZeroAntesDoPonto)
{
    EXPECT_EQ(campo_fixo(2.5), "          2.500");
    EXPECT_EQ(campo_fixo(0.0004), "           .000");
    EXPECT_EQ(campo_fixo(0.0), "           .000");
    EXPECT_EQ(campo_fixo(0.125), "           .125");
    EXPECT_EQ(campo_fixo(0.9996), "          1.000");
    EXPECT_EQ(campo_fixo(-0.5), "          -.500");
    EXPECT_EQ(campo_fixo(12345.6789), "      12345.679");
    EXPECT_EQ(campo_fixo(99999999999.999), "99999999999.999");
    EXPECT_EQ(campo_fixo(1.0e12), "***************");
}

TEST(Linha, ParadaDeColunaPreencheComBrancos)
{
    Linha linha;
    linha.texto("0123456789").coluna(30).texto("x");
    EXPECT_EQ(linha.conteudo(), "0123456789" + std::string(19, ' ') + "x");
    EXPECT_EQ(Linha().coluna(5).texto("a").conteudo(), "    a");
}

TEST(Linha, CamposConsecutivosOcupamColunasSeguidas)
{
    const std::string linha = Linha().cientifico(1.0).cientifico(-2.0).inteiro(7).conteudo();
    EXPECT_EQ(linha.substr(25, 25), "   -2.000000000000000E+00");
    EXPECT_EQ(linha.substr(50), "         7");
}

TEST(Linha, AcentosViramUmByteWindows1252)
{
    const std::string bytes = Linha().texto("áâãçéíóõú ÁÇÉ ok").conteudo();
    const std::string esperado = "\xE1\xE2\xE3\xE7\xE9\xED\xF3\xF5\xFA \xC1\xC7\xC9 ok";
    EXPECT_EQ(bytes, esperado);
    EXPECT_EQ(Linha().texto("Posição x").coluna(15).texto("|").conteudo(), "Posi\xE7\xE3o x     |");
}

} // namespace
