// Bancada: o que os usuários rodam. Execuções inteiras (o `tempo` de
// processar(), de preparar_malha a iteracoes_deslocamento) com os solvers de referência e depois com os
// rápidos, no mesmo processo, com o tempo de cada fase; e os núcleos sozinhos
// (iteração térmica e varredura com fonte) em ns por nó, ao lado dos pisos.
// Cada número é o melhor de N repetições, com a dispersão (pior / melhor).
//   bancada [curta|completa|estabilidade|carga|memoria|campos|pequenas|limiar] [N [threads [conjunto]]]
// curta (padrão, a de `make bench`): menos de dois minutos numa máquina
// quieta de 2 núcleos. completa: todas as malhas, itgs e passo_hist.
// estabilidade: dez execuções rápidas idênticas de 201 x 201.
// carga (Linux): 201 x 201 com um processo ocupado ao lado, cada execução num
// processo novo (como as do usuário), com as threads padrão e com uma.
// memoria (Linux): o pico de memória de uma execução inteira de 1001 x 1001,
// cada forma num processo novo.
// campos: numa execução de 1001 x 1001, o tempo e o tamanho do relatório e dos
// campos (campos.vti, campos.csv e o VTI em ASCII, a alternativa medida).
// pequenas (Linux): execuções inteiras de estudante (21 x 21, o exemplo
// 41 x 41, 81 x 81 e 201 x 201 curta), cada uma num processo novo,
// alternando as threads padrão e uma, quietas e ao lado de dois processos
// ocupados, todos presos às mesmas duas CPUs: a mediana das razões padrão /
// uma de N pares (padrão 7).
// limiar (Linux): duas threads fixas contra uma, fase a fase, de 11 x 11 a
// 201 x 201, quietas e ao lado de dois processos ocupados (o limiar da
// Escolha).
// threads: dos solvers rápidos (padrão 0: a afinidade ou PLACA2D_THREADS,
// com o limiar e a Escolha; outro número fica fixo em todo lote);
// conjunto: portavel, avx2 ou avx512 (padrão: o melhor que a CPU tem).
//
// As medidas que deram os números dos solvers rápidos (os comentários do
// código dão os motivos e apontam o modo daqui), numa máquina virtual de 2
// vCPUs AMD EPYC (Zen 5), Linux 6.18, g++ 12; cada uma se refaz com o modo
// dito, mudando o número no código:
// - curta, 201 x 201, duas threads: com a etapa inteira repartida entre as
//   threads (em vez das faixas fixas de tubulacao.hpp), 0,39 ns por nó e
//   varredura com uma thread ou com duas; lida direto das faixas vizinhas
//   (sem faixas::Linha_compacta), a primeira faixa de cima levava 5 vezes o
//   tempo de uma do meio; com uma espera ativa de 1500 pausas (uns 30 us; a
//   de equipe.cpp é de 200 us e acordar uma thread leva de 50 a 150 us), as
//   duas threads passavam 70 % do tempo de um lote curto esperando; a mesma
//   varredura levou 0,44 ns por nó numa vCPU e 0,57 na outra
//   (faixas::equilibrar). Em 301 x 301, a thread da linha de progresso fora
//   da prioridade ociosa somava 7 % ao tempo de cálculo.
// - completa: lotes de 4 milhões de nós pesavam em 1001 x 1001 (lotes.cpp:
//   16 milhões na térmica, uns 8 ms; 30 milhões de nós-etapa nos
//   deslocamentos, uns 10 ms); 1001 x 1001 com passo_hist 2: 1,86 ns por nó
//   com duas threads, 1,20 com uma (termica_rapida.cpp, bytes_dos_residuos);
//   zerar e tocar pela primeira vez os seis campos da fase dos deslocamentos
//   (uns 20 us por página de 4 KiB) era mais da metade dos 320 ms dela
//   (faixas.cpp, as sobras); o campo salvo a cada 1e8 nós varridos, uns
//   50 ms.
// - carga: a fase dos deslocamentos de 201 x 201 com duas threads e um
//   processo ocupado ao lado: 2,9 ns por nó e varredura, contra 0,66 com uma
//   (escolha.cpp); testes de n sob carga custavam mais de meio lote cada, 4 %
//   de uma execução (adiamento), e o aquecimento e o teste no começo de uma
//   fase, 6 % (regra 3); com nice 19 ao lado, os lotes de teste com duas
//   threads levaram 20 vezes o tempo dos com uma (lotes.cpp, cpus_tomadas).
// - estabilidade (dez execuções iguais): divisor_teste_visivel 8 dá 1,26
//   vez do melhor ao pior em média, 32 dá 1,39; um castigo inicial de 32
//   lotes, até 1,6 vez; a folga do começo contando como as outras (1, 2, 4,
//   ...), mediana de 1,33 contra 1,30 em séries alternadas; a leitura das
//   CPUs pegou uma tarefa passageira em uma a três fases de vinte.
#include "entrada_saida/campos.hpp"
#include "entrada_saida/dados.hpp"
#include "entrada_saida/formatacao.hpp"
#include "modelo/variaveis.hpp"
#include "plataforma/sistema_de_arquivos.hpp"
#include "roteiro/processamento.hpp"
#include "solvers/rapidos/ajustes.hpp"
#include "solvers/solvers.hpp"
#include "solvers/solvers_rapidos.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif
#if defined(__linux__)
#include <sched.h>
#endif
#if defined(__unix__)
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

int repeticoes = 3;

double agora()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Medida {
    double melhor = 1e300, pior = 0.0;
    double dispersao() const { return pior / melhor; }
};

Medida medir(const std::function<void()>& tarefa, int vezes = repeticoes)
{
    Medida m;
    for (int r = 0; r < vezes; ++r) {
        const double inicio = agora();
        tarefa();
        const double d = agora() - inicio;
        m.melhor = std::min(m.melhor, d);
        m.pior = std::max(m.pior, d);
    }
    return m;
}

double segundos(const std::function<void()>& tarefa) { return medir(tarefa).melhor; }

// Piso das somas em série: uma adição dependente por nó.
double ns_por_adicao_dependente()
{
    std::vector<double> x(4096, 1e-3);
    double soma = 0.0;
    const int voltas = 2000;
    const double t = segundos([&] {
        for (int v = 0; v < voltas; ++v) {
            for (const double xi : x) soma = soma + xi;
        }
    });
    if (soma == 42.0) std::puts("");
    return t * 1e9 / (static_cast<double>(voltas) * static_cast<double>(x.size()));
}

// Piso da varredura com fonte: vazão de divisão por núcleo, com vetores da
// largura W e 8 divisões independentes.
template <int W> struct Vetor;
template <> struct Vetor<8> { using tipo = double __attribute__((vector_size(64))); };
template <> struct Vetor<4> { using tipo = double __attribute__((vector_size(32))); };
template <> struct Vetor<2> { using tipo = double __attribute__((vector_size(16))); };

// Divisões de 8 vetores independentes por volta; devolve a soma de todas as
// lanes, para o compilador não descartar conta nenhuma.
template <int W>
[[gnu::always_inline]] inline double dividir(long voltas)
{
    using vetor = typename Vetor<W>::tipo;
    vetor a[8];
    for (int i = 0; i < 8; ++i) a[i] = vetor{} + (1.0 + i);
    const vetor d = vetor{} + 1.0000001;
    for (long v = 0; v < voltas; ++v) {
        for (auto& ai : a) ai = ai / d;
    }
    double soma = 0.0;
    for (const auto& ai : a) {
        for (int l = 0; l < W; ++l) soma += ai[l];
    }
    return soma;
}

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx512f")]] double dividir_avx512(long voltas) { return dividir<8>(voltas); }
[[gnu::target("avx2")]] double dividir_avx2(long voltas) { return dividir<4>(voltas); }
#endif

double ns_por_divisao([[maybe_unused]] rapido::Instrucoes conjunto)
{
    int largura = 2;
    double (*funcao)(long) = dividir<2>;
#if defined(__x86_64__) || defined(__i386__)
    if (conjunto == rapido::Instrucoes::avx512) largura = 8, funcao = dividir_avx512;
    if (conjunto == rapido::Instrucoes::avx2) largura = 4, funcao = dividir_avx2;
#endif
    const long voltas = 16000000 / largura;
    double lane = 0.0;
    const double t = segundos([&] { lane = funcao(voltas); });
    if (lane == 42.0) std::puts("");
    return t * 1e9 / (static_cast<double>(voltas) * 8.0 * largura);
}

// Nome do processador, da CPUID.
std::string processador()
{
    std::string nome;
#if defined(__x86_64__) || defined(__i386__)
    unsigned regs[12] = {};
    // O __get_cpuid_max do GCC devolve unsigned; o do Clang, int.
    if (static_cast<unsigned>(__get_cpuid_max(0x80000000, nullptr)) >= 0x80000004) {
        for (unsigned i = 0; i < 3; ++i) __get_cpuid(0x80000002 + i, &regs[4 * i], &regs[4 * i + 1], &regs[4 * i + 2], &regs[4 * i + 3]);
        char texto[sizeof(regs) + 1] = {};
        std::memcpy(texto, regs, sizeof(regs));
        nome = texto;
    }
#endif
    const auto inicio = nome.find_first_not_of(' ');
    return inicio == std::string::npos ? "desconhecido" : nome.substr(inicio, nome.find_last_not_of(' ') - inicio + 1);
}

rapido::Instrucoes conjunto_pedido(const char* nome)
{
    if (std::strcmp(nome, "portavel") == 0) return rapido::Instrucoes::portavel;
    if (std::strcmp(nome, "avx2") == 0) return rapido::Instrucoes::avx2;
    return rapido::Instrucoes::avx512;
}


// ------------------------------------------------------------ execuções inteiras

struct Config {
    std::int32_t Nx, Ny, itmax, passo, itdesl, itgs;
    double tol = -1.0; // negativa: itmax varreduras
};

// Tempos de uma execução: inteira (como `tempo`), da fase térmica e da dos
// deslocamentos (solucao_termica e iteracoes_deslocamento).
struct Tempos {
    double inteira = 0, termica = 0, deslocamentos = 0;
    std::int32_t it = 0;
    rapido::Percurso termico, deslocamento; // nenhum com os de referência
};

Tempos executar(const Config& c, bool rapidos)
{
    reiniciar_variaveis();
    auto& e = estado;
    e.Lx = 1.0;
    e.Ly = static_cast<double>(c.Ny - 1) / (c.Nx - 1);
    e.Nx = c.Nx;
    e.Ny = c.Ny;
    e.itmax = c.itmax;
    e.tol = c.tol;
    e.itgs = c.itgs;
    e.itdesl = c.itdesl;
    e.nu = 0.3;
    e.alpha = 1.2e-5;
    e.passo_hist = c.passo;
    rapido::usar_no_driver(rapidos);
    Tempos t;
    const double inicio = agora();
    preparar_malha();
    discretizacao_termica();
    medidas_iniciais();
    const double t0 = agora();
    t.termico = solucao_termica();
    const double t1 = agora();
    discretizacao_deslocamentos();
    const double t2 = agora();
    t.deslocamento = iteracoes_deslocamento();
    const double fim = agora();
    rapido::usar_no_driver(true);
    t.inteira = fim - inicio;
    t.termica = t1 - t0;
    t.deslocamentos = fim - t2;
    t.it = e.it;
    return t;
}

struct Par {
    Medida inteira;
    Tempos melhor; // partes da melhor execução inteira
};

Par repetir(const Config& c, bool rapidos, int vezes)
{
    Par p;
    for (int r = 0; r < vezes; ++r) {
        const Tempos t = executar(c, rapidos);
        if (t.inteira < p.inteira.melhor) p.melhor = t;
        p.inteira.melhor = std::min(p.inteira.melhor, t.inteira);
        p.inteira.pior = std::max(p.inteira.pior, t.inteira);
    }
    return p;
}

void cabecalho_execucoes()
{
    std::printf("\n%-11s %6s %5s %5s %6s | %9s %5s | %9s %5s | %7s | %8s %8s | %7s %7s | %s\n", "malha", "itmax",
                "passo", "itgs", "itdesl", "ref s", "disp", "ráp s", "disp", "razão", "T ref", "T ráp", "razãoT",
                "razãoD", "threads T/D");
    std::printf("%-11s %6s %5s %5s %6s | %9s %5s | %9s %5s | %7s | %8s %8s | %7s %7s |\n", "", "", "", "", "", "", "",
                "", "", "", "ns/nó", "ns/nó", "", "");
}

// ns/nó por iteração térmica; razões da fase térmica e da dos deslocamentos.
void execucao(const Config& c, int vezes_referencia)
{
    const Par ref = repetir(c, false, vezes_referencia);
    const Par rap = repetir(c, true, repeticoes);
    const double nos = (c.Nx - 2.0) * (c.Ny - 2.0);
    const double it_ref = std::max(1, ref.melhor.it), it_rap = std::max(1, rap.melhor.it);
    const rapido::Percurso pt = rap.melhor.termico, pd = rap.melhor.deslocamento;
    char malha[32];
    std::snprintf(malha, sizeof malha, "%dx%d", c.Nx, c.Ny);
    const double razao_d = c.itdesl > 0 ? ref.melhor.deslocamentos / rap.melhor.deslocamentos : 0.0;
    char razao_desl[16] = "      -";
    if (c.itdesl > 0) std::snprintf(razao_desl, sizeof razao_desl, "%6.1fx", razao_d);
    std::printf("%-11s %6d %5d %5d %6d | %9.3f %5.2f | %9.3f %5.2f | %6.1fx | %8.3f %8.3f | %6.1fx %s | %d/%d%s\n",
                malha, c.itmax, c.passo, c.itgs, c.itdesl, ref.inteira.melhor, ref.inteira.dispersao(),
                rap.inteira.melhor, rap.inteira.dispersao(), ref.inteira.melhor / rap.inteira.melhor,
                ref.melhor.termica * 1e9 / (nos * it_ref), rap.melhor.termica * 1e9 / (nos * it_rap),
                ref.melhor.termica / rap.melhor.termica, razao_desl, pt.threads, pd.threads,
                pt.caminho == rapido::Caminho::faixas && (c.itdesl <= 0 || pd.caminho == rapido::Caminho::faixas)
                    ? ""
                    : " (referência)");
    std::fflush(stdout);
}

// ------------------------------------------------------------ núcleos

struct Problema {
    std::int32_t n;
    double aP, aX, aY;
    std::vector<double> campo, fonte;
};

// Placa quadrada n x n: topo em seno, interior zero, fonte pequena.
Problema problema(std::int32_t n)
{
    Problema p{n, 0, 0, 0, {}, {}};
    const double d = 1.0 / (n - 1.0);
    p.aX = 1.0 / d;
    p.aY = 1.0 / d;
    p.aP = 2.0 / d + 2.0 / d;
    const std::size_t N = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    p.campo.assign(N, 0.0);
    p.fonte.assign(N, 0.0);
    for (std::int32_t ix = 0; ix < n; ++ix) {
        p.campo[N - static_cast<std::size_t>(n) + static_cast<std::size_t>(ix)] = std::sin(std::acos(-1.0) * ix * d);
    }
    for (std::size_t k = 0; k < N; ++k) p.fonte[k] = 1e-6 * static_cast<double>(k % 7);
    return p;
}

// ns por nó interior por iteração térmica (varredura e três medidas); em
// `threads`, as que a última execução rápida usou.
double ns_termica(bool rapidos, const Problema& p, std::int32_t iteracoes, std::int32_t passo, int* threads = nullptr)
{
    const double t = segundos([&] {
        std::vector<double> T = p.campo;
        std::vector<double> L1(static_cast<std::size_t>(iteracoes) + 1, 1.0), L2 = L1, Linf = L1;
        referencia::norma_L1(p.aP, p.aX, p.aY, p.n, p.n, T, L1[0]);
        std::int32_t it = 0;
        if (rapidos) {
            const rapido::Percurso r =
                rapido::gs_laplace(p.aP, p.aX, p.aY, iteracoes, -1.0, p.n, p.n, L1, L2, Linf, it, T, passo);
            if (threads != nullptr) *threads = r.threads;
        } else {
            referencia::gs_laplace(p.aP, p.aX, p.aY, iteracoes, -1.0, p.n, p.n, L1, L2, Linf, it, T);
        }
    });
    return t * 1e9 / ((p.n - 2.0) * (p.n - 2.0) * iteracoes);
}

double ns_fonte(bool rapidos, const Problema& p, std::int32_t varreduras, int* threads = nullptr)
{
    const double t = segundos([&] {
        std::vector<double> phi = p.campo;
        if (rapidos) {
            const rapido::Percurso r = rapido::gs_fonte(p.aP, p.aX, p.aY, p.fonte, varreduras, p.n, p.n, phi);
            if (threads != nullptr) *threads = r.threads;
        } else {
            referencia::gs_fonte(p.aP, p.aX, p.aY, p.fonte, varreduras, p.n, p.n, phi);
        }
    });
    return t * 1e9 / ((p.n - 2.0) * (p.n - 2.0) * varreduras);
}

void nucleo(const char* nome, std::int32_t n, double referencia, double rapido_ns, double piso, int threads)
{
    std::printf("%-18s %5d x %-5d %8.3f %8.3f %8.2fx %8.3f %8d\n", nome, n, n, referencia, rapido_ns,
                referencia / rapido_ns, piso, threads);
    std::fflush(stdout);
}

void nucleos(const std::vector<std::int32_t>& lados, double piso_adicao, double piso_divisao, int threads)
{
    std::printf("\n%-18s %-13s %8s %8s %9s %8s %8s\n", "núcleo (ns/nó)", "malha", "ref", "ráp", "razão", "piso",
                "threads");
    for (const std::int32_t n : lados) {
        const Problema p = problema(n);
        const std::int32_t iteracoes = static_cast<std::int32_t>(2e7 / (static_cast<double>(n) * n)) + 1;
        const double ref_t = ns_termica(false, p, iteracoes, 1);
        int usadas = 0;
        const double passo1 = ns_termica(true, p, 5 * iteracoes, 1, &usadas);
        nucleo("térmica passo 1", n, ref_t, passo1, piso_adicao, usadas);
        const double passo1000 = ns_termica(true, p, 5 * iteracoes, 1000, &usadas);
        nucleo("térmica passo 1000", n, ref_t, passo1000, piso_divisao / threads, usadas);
        const double ref_f = ns_fonte(false, p, iteracoes);
        const double rap_f = ns_fonte(true, p, 5 * iteracoes, &usadas);
        nucleo("fonte", n, ref_f, rap_f, piso_divisao / threads, usadas);
    }
}

// ------------------------------------------------------------ campos

// O VTI com os mesmos vetores em ASCII, cada número exato (como no CSV, com
// ponto): a alternativa ao base64 do programa.
void campos_vti_ascii(Arquivo_saida& f)
{
    const auto& e = estado;
    const std::size_t n = static_cast<std::size_t>(e.N);
    char numero[32];
    const auto texto = [&](double v) { return std::string(numero, numero_exato(numero, v, '.')); };
    const std::string extensao = "0 " + std::to_string(e.Nx - 1) + " 0 " + std::to_string(e.Ny - 1) + " 0 0";
    f.escrever_bytes("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<VTKFile type=\"ImageData\" version=\"1.0\" "
                     "byte_order=\"LittleEndian\" header_type=\"UInt64\">\n  <ImageData WholeExtent=\"" +
                     extensao + "\" Origin=\"0 0 0\" Spacing=\"" + texto(e.dx) + " " + texto(e.dy) +
                     " 1\">\n    <Piece Extent=\"" + extensao + "\">\n      <PointData Scalars=\"" + nome_campo::T +
                     "\" Vectors=\"" + nome_campo::deslocamento + "\">\n");
    const auto vetor = [&](const char* nome, int componentes, const auto& valores) {
        f.escrever_bytes(std::string("        <DataArray type=\"Float64\" Name=\"") + nome + "\"" +
                         (componentes > 1 ? " NumberOfComponents=\"3\"" : "") + " format=\"ascii\">\n");
        std::string linha;
        for (std::size_t k = 0; k < n; ++k) {
            for (const double v : valores(k)) {
                linha += texto(v);
                linha += ' ';
            }
            if (k % 6 == 5 || k + 1 == n) {
                linha.back() = '\n';
                f.escrever_bytes(linha);
                linha.clear();
            }
        }
        f.escrever_bytes("        </DataArray>\n");
    };
    using V1 = std::array<double, 1>;
    vetor(nome_campo::T, 1, [&](std::size_t k) { return V1{e.T[k]}; });
    vetor(nome_campo::Ta, 1, [&](std::size_t k) { return V1{e.Ta[k]}; });
    vetor(nome_campo::erro, 1, [&](std::size_t k) { return V1{e.Ta[k] - e.T[k]}; });
    vetor(nome_campo::u, 1, [&](std::size_t k) { return V1{e.u[k]}; });
    vetor(nome_campo::v, 1, [&](std::size_t k) { return V1{e.v[k]}; });
    vetor(nome_campo::deslocamento, 3, [&](std::size_t k) { return std::array<double, 3>{e.u[k], e.v[k], 0.0}; });
    f.escrever_bytes("      </PointData>\n      <CellData>\n      </CellData>\n    </Piece>\n  </ImageData>\n</VTKFile>\n");
}

// O exemplo em 1001 x 1001 (20000 iterações, que não chegam a tol = 1e-6, e
// 50 x 100 varreduras), e cada arquivo gravado como o programa grava
// (temporário, fsync, troca) numa pasta temporária.
int campos(int vezes)
{
    const Config c{1001, 1001, 20000, 100, 50, 100};
    const Par execucao = repetir(c, true, vezes);
    auto& e = estado;
    solucao_analitica();
    referencia::media_campo(e.Nx, e.Ny, e.T, e.Tmed_n);
    e.modo_saida = 1;
    std::printf("execução de 1001 x 1001 (20000 iterações, 50 x 100 varreduras, solvers rápidos): melhor %.2f s"
                " (disp %.2f)\n",
                execucao.inteira.melhor, execucao.inteira.dispersao());
    namespace fs = std::filesystem;
    const fs::path pasta = fs::temp_directory_path() / ("placa2d-bancada-" + std::to_string(numero_do_processo()));
    fs::create_directories(pasta);
    const struct {
        const char* nome;
        void (*escrever)(Arquivo_saida&);
    } arquivos[] = {
        {"relatorio.txt", escrever_relatorio},
        {"campos.vti", escrever_campos_vti},
        {"campos_ascii.vti", campos_vti_ascii},
        {"campos.csv", escrever_campos_csv},
    };
    for (const auto& a : arquivos) {
        const std::string nome = (pasta / a.nome).string();
        const Medida m = medir(
            [&] {
                Arquivo_saida f(nome);
                a.escrever(f);
                f.concluir();
            },
            vezes);
        std::printf("  %-18s %8.1f MB  %6.2f s (disp %.2f)  %5.2f da execução\n", a.nome,
                    static_cast<double>(fs::file_size(nome)) / 1e6, m.melhor, m.dispersao(),
                    m.melhor / execucao.inteira.melhor);
        fs::remove(nome);
    }
    fs::remove_all(pasta);
    return 0;
}

#if defined(__unix__)
// O que medir() dá num processo novo (como o de um usuário: sem a equipe de
// threads nem a memória que a bancada já usou); `falha` se não deu para
// criá-lo. Quem chama não pode ter usado os solvers rápidos (a equipe de
// threads não passa ao filho).
template <class R>
R num_processo_novo(const std::function<R()>& medir, const R& falha)
{
    int canal[2];
    if (pipe(canal) != 0) return falha;
    const pid_t filho = fork();
    if (filho == 0) {
        const R x = medir();
        if (write(canal[1], &x, sizeof x) != static_cast<ssize_t>(sizeof x)) _exit(1);
        _exit(0);
    }
    close(canal[1]);
    R x = falha;
    if (filho < 0 || read(canal[0], &x, sizeof x) != static_cast<ssize_t>(sizeof x)) x = falha;
    close(canal[0]);
    if (filho > 0) waitpid(filho, nullptr, 0);
    return x;
}

double num_processo_novo(const std::function<double()>& medir) { return num_processo_novo<double>(medir, -1.0); }

// Uma execução rápida inteira num processo novo, com essas threads (0: o
// padrão; outro número, fixo em todo lote).
Tempos execucao_nova_tempos(const Config& c, int threads)
{
    Tempos falha;
    falha.inteira = -1.0;
    return num_processo_novo<Tempos>(
        [&] {
            rapido::definir_threads(threads);
            return executar(c, true);
        },
        falha);
}

// O tempo de uma execução rápida inteira, com essas threads (0: o padrão).
double execucao_nova(const Config& c, int threads) { return execucao_nova_tempos(c, threads).inteira; }

// O pico de memória (MiB) de uma execução inteira.
double pico_de_memoria(const Config& c, bool rapidos)
{
    return num_processo_novo([&] {
        executar(c, rapidos);
        rusage uso{};
        getrusage(RUSAGE_SELF, &uso);
        return static_cast<double>(uso.ru_maxrss) / 1024.0;
    });
}

int memoria()
{
    const Config c{1001, 1001, 300, 1000, 5, 20};
    const double ref = pico_de_memoria(c, false), rap = pico_de_memoria(c, true);
    std::printf("pico de memória de uma execução inteira (1001 x 1001, 300 iterações, 5 x 20): referência %.0f MiB,"
                " rápidos %.0f MiB, razão %.2f\n",
                ref, rap, rap / ref);
    return 0;
}

// Com um processo ocupando uma CPU o tempo todo: n threads não podem render
// menos que uma.
int sob_carga(int vezes)
{
    const pid_t ocupado = fork();
    if (ocupado == 0) {
        for (;;) __asm__ volatile("" ::: "memory");
    }
    if (ocupado < 0) return 1;
    const Config c{201, 201, 15000, 1000, 50, 100};
    Medida m[2];
    // A velocidade desta máquina varia de minuto a minuto (até 1,5 vez):
    // além dos melhores, a mediana das razões de execuções vizinhas.
    std::vector<double> razoes;
    for (int r = 0; r < vezes; ++r) {
        double t[2];
        for (int k = 0; k < 2; ++k) {
            const int i = (k + r) % 2; // cada uma começa uma vez sim, outra não
            t[i] = execucao_nova(c, i == 0 ? 0 : 1);
            m[i].melhor = std::min(m[i].melhor, t[i]);
            m[i].pior = std::max(m[i].pior, t[i]);
        }
        razoes.push_back(t[0] / t[1]);
    }
    std::sort(razoes.begin(), razoes.end());
    const std::size_t meio = razoes.size() / 2;
    const double mediana = razoes.size() % 2 != 0 ? razoes[meio] : 0.5 * (razoes[meio - 1] + razoes[meio]);
    kill(ocupado, SIGKILL);
    waitpid(ocupado, nullptr, 0);
    std::printf("com um processo ocupado (201 x 201, 15000 iterações, 50 x 100, cada execução num processo novo):\n"
                "  threads padrão: melhor %.3f s (disp %.2f); uma thread: melhor %.3f s (disp %.2f);"
                " padrão / uma = %.2f (mediana das razões de execuções vizinhas %.2f)\n",
                m[0].melhor, m[0].dispersao(), m[1].melhor, m[1].dispersao(), m[0].melhor / m[1].melhor, mediana);
    return 0;
}
#endif

#if defined(__linux__)
// Prende a bancada (e os filhos, que herdam) às duas primeiras CPUs da
// afinidade, como `taskset -c`: dois processos ocupados pesam nelas o mesmo
// numa máquina de duas CPUs ou de trinta e duas.
bool prender_em_duas_cpus()
{
    cpu_set_t todas;
    CPU_ZERO(&todas);
    if (sched_getaffinity(0, sizeof todas, &todas) != 0) return false;
    cpu_set_t duas;
    CPU_ZERO(&duas);
    int k = 0;
    for (std::size_t c = 0; c < CPU_SETSIZE && k < 2; ++c) {
        if (CPU_ISSET(c, &todas)) {
            CPU_SET(c, &duas);
            ++k;
        }
    }
    return k == 2 && sched_setaffinity(0, sizeof duas, &duas) == 0;
}

// k processos ocupados (um laço sem fim cada), nas CPUs da bancada, até o
// fim do escopo.
class Ocupados {
public:
    explicit Ocupados(int k)
    {
        for (int i = 0; i < k; ++i) {
            const pid_t p = fork();
            if (p == 0) {
                for (;;) __asm__ volatile("" ::: "memory");
            }
            if (p > 0) pids_.push_back(p);
        }
    }
    ~Ocupados()
    {
        for (const pid_t p : pids_) kill(p, SIGKILL);
        for (const pid_t p : pids_) waitpid(p, nullptr, 0);
    }
    Ocupados(const Ocupados&) = delete;
    Ocupados& operator=(const Ocupados&) = delete;

private:
    std::vector<pid_t> pids_;
};

double mediana(std::vector<double> x)
{
    std::sort(x.begin(), x.end());
    const std::size_t meio = x.size() / 2;
    return x.size() % 2 != 0 ? x[meio] : 0.5 * (x[meio - 1] + x[meio]);
}

// Tarefas prontas no sistema além da bancada e dos seus processos ocupados
// (o quarto campo de /proc/loadavg); 0 se não der para ler.
int outros_prontos(int ocupados)
{
    std::FILE* f = std::fopen("/proc/loadavg", "r");
    if (f == nullptr) return 0;
    double m1 = 0, m5 = 0, m15 = 0;
    int prontas = 0, total = 0;
    const int lidos = std::fscanf(f, "%lf %lf %lf %d/%d", &m1, &m5, &m15, &prontas, &total);
    std::fclose(f);
    return lidos == 5 ? prontas - 1 - ocupados : 0;
}

// Um par de execuções em processos novos, com threads[0] e threads[1], na
// ordem que a paridade de r dá (cada uma começa uma vez sim, outra não).
// Refeito, até cinco vezes, se outro processo estava pronto antes ou depois
// de uma delas: a carga é só a dos processos ocupados da bancada.
struct Par_de_execucoes {
    Tempos x[2];
    bool limpo = true;
};

Par_de_execucoes par_de_execucoes(const Config& c, int r, const int (&threads)[2], int ocupados)
{
    Par_de_execucoes p;
    for (int tentativa = 0; tentativa < 5; ++tentativa) {
        p.limpo = true;
        for (int k = 0; k < 2; ++k) {
            const int i = (k + r) % 2;
            p.limpo = outros_prontos(ocupados) <= 0 && p.limpo;
            p.x[i] = execucao_nova_tempos(c, threads[i]);
            p.limpo = outros_prontos(ocupados) <= 0 && p.limpo;
        }
        if (p.limpo) break;
    }
    return p;
}

const char* nome_da_carga(int ocupados) { return ocupados == 0 ? "quieta" : "2 ocupados"; }

// Execuções pequenas como as primeiras de um estudante, cada uma num processo
// novo, alternando as threads padrão e uma, quietas e com dois processos
// ocupados nas mesmas duas CPUs: a mediana das razões padrão / uma de
// `pares` pares de pares.
int pequenas(int pares)
{
    if (!prender_em_duas_cpus()) {
        std::fprintf(stderr, "bancada: o modo pequenas precisa de duas CPUs na afinidade\n");
        return 1;
    }
    struct Celula {
        const char* nome;
        Config c;
    };
    // As três primeiras com os parâmetros do exemplo (20000 iterações no
    // máximo, tol 1e-6, passo_hist 100, 50 x 100); 201 x 201 curta.
    const Celula celulas[] = {
        {"21 x 21", {21, 21, 20000, 100, 50, 100, 1e-6}},
        {"41 x 41 (exemplo)", {41, 41, 20000, 100, 50, 100, 1e-6}},
        {"81 x 81", {81, 81, 20000, 100, 50, 100, 1e-6}},
        {"201 x 201 (3000, 10 x 20)", {201, 201, 3000, 100, 10, 20}},
    };
    std::printf("execuções inteiras em processos novos, %d vezes padrão, uma, uma, padrão, presas a duas CPUs;"
                " razão padrão / uma de cada vez:\n",
                pares);
    std::printf("%-27s %-10s | %7s %15s | %9s %9s | %11s | %5s | %s\n", "malha", "carga", "mediana", "razões",
                "padrão s", "uma s", "threads T/D", "it", "sujos");
    for (const int ocupados : {0, 2}) {
        const Ocupados carga(ocupados);
        for (const Celula& cel : celulas) {
            std::vector<double> razoes;
            Medida m[2];
            int threads_t = 0, threads_d = 0, sujos = 0;
            std::int32_t it = 0;
            for (int r = 0; r < pares; ++r) {
                // Cada razão de um par nas duas ordens (padrão, uma, uma,
                // padrão): a primeira execução depois de uma pausa anda mais
                // devagar, e com pares de uma ordem só a mediana de duas
                // execuções iguais chegou a 1,26.
                double soma[2] = {0.0, 0.0};
                for (int ordem = 0; ordem < 2; ++ordem) {
                    const Par_de_execucoes p = par_de_execucoes(cel.c, ordem, {0, 1}, ocupados);
                    sujos += !p.limpo;
                    for (int i = 0; i < 2; ++i) {
                        m[i].melhor = std::min(m[i].melhor, p.x[i].inteira);
                        m[i].pior = std::max(m[i].pior, p.x[i].inteira);
                        soma[i] += p.x[i].inteira;
                    }
                    threads_t = std::max(threads_t, p.x[0].termico.threads);
                    threads_d = std::max(threads_d, p.x[0].deslocamento.threads);
                    it = p.x[0].it;
                }
                razoes.push_back(soma[0] / soma[1]);
            }
            const auto [menor, maior] = std::minmax_element(razoes.begin(), razoes.end());
            std::printf("%-27s %-10s | %7.2f %6.2f a %6.2f | %9.4f %9.4f | %7d/%-3d | %5d | %d\n", cel.nome,
                        nome_da_carga(ocupados), mediana(razoes), *menor, *maior, m[0].melhor, m[1].melhor, threads_t,
                        threads_d, it, sujos);
            std::fflush(stdout);
        }
    }
    return 0;
}

// O que duas threads custam contra uma, fase a fase (varreduras da térmica;
// os deslocamentos com itgs 5, 20 e 100), sem o limiar nem a Escolha (duas
// threads fixas: todo lote com elas), em processos novos, em malhas de 11 x 11
// a 201 x 201. Quietas, cada fase com k e com 4k etapas (k: uns 1e7
// nós-etapa), o melhor de `vezes` pares alternados: por etapa, o tempo com
// uma e com duas (a inclinação entre k e 4k) e o começo da fase (o que
// sobra em k: criar as threads, as fronteiras, o campo salvo). Com dois
// processos ocupados nas mesmas duas CPUs, k etapas (no máximo 1000): a
// mediana das razões duas / uma, o que um lote com n threads perde sob
// carga. Com menos faixas que threads, ou sem a decisão certificada da
// térmica, a fase roda com uma (a coluna thr).
int limiar(int vezes)
{
    if (!prender_em_duas_cpus()) {
        std::fprintf(stderr, "bancada: o modo limiar precisa de duas CPUs na afinidade\n");
        return 1;
    }
    const std::int32_t lados[] = {11, 21, 31, 41, 61, 81, 101, 121, 141, 161, 201};
    std::printf("cada fase num processo novo, o melhor de %d pares alternados; duas threads fixas contra uma\n",
                vezes);
    std::printf("%-10s %-9s %-12s %6s | %9s %9s %6s | %9s %9s | %6s %6s | %3s %s\n", "carga", "malha", "fase",
                "k", "uma ns/et", "duas ns/et", "razão", "começo1", "começo2", "med k", "pior k", "thr", "sujos");
    for (const int ocupados : {0, 2}) {
        const Ocupados carga(ocupados);
        for (const std::int32_t n : lados) {
            const double nos = (n - 2.0) * (n - 2.0);
            for (const std::int32_t itgs : {0, 5, 20, 100}) {
                const double alvo = std::max(8.0, 1e7 / nos);
                const long long por_externa = itgs == 0 ? 1 : 2 + 2LL * itgs;
                // A configuração de uma fase com cerca de `etapas` etapas; devolve as etapas dela.
                const auto fase = [&](double etapas, Config& c) {
                    c = Config{n, n, 1, 100, 0, std::max(itgs, 1)};
                    const std::int32_t q = static_cast<std::int32_t>(
                        std::max(1.0, etapas / static_cast<double>(por_externa)));
                    if (itgs == 0) c.itmax = q;
                    else c.itdesl = q;
                    return por_externa * q;
                };
                const auto tempo = [&](const Tempos& x) { return itgs == 0 ? x.termica : x.deslocamentos; };
                int thr = 0, sujos = 0;
                // melhor[comprimento][threads]: k e 4k; duas (0) e uma (1).
                Medida melhor[2][2];
                long long etapas[2] = {0, 0};
                std::vector<double> razoes;
                for (int comprimento = 0; comprimento < (ocupados == 0 ? 2 : 1); ++comprimento) {
                    Config c{};
                    const double alvo_k = ocupados == 0 ? alvo : std::min(alvo, 1000.0);
                    etapas[comprimento] = fase(alvo_k * (comprimento == 0 ? 1.0 : 4.0), c);
                    for (int r = 0; r < vezes; ++r) {
                        const Par_de_execucoes p = par_de_execucoes(c, r, {2, 1}, ocupados);
                        sujos += !p.limpo;
                        for (int i = 0; i < 2; ++i) {
                            Medida& m = melhor[comprimento][i];
                            m.melhor = std::min(m.melhor, tempo(p.x[i]));
                            m.pior = std::max(m.pior, tempo(p.x[i]));
                        }
                        thr = std::max(thr, itgs == 0 ? p.x[0].termico.threads : p.x[0].deslocamento.threads);
                        if (comprimento == 0) razoes.push_back(tempo(p.x[0]) / tempo(p.x[1]));
                    }
                }
                char nome[16];
                if (itgs == 0) std::snprintf(nome, sizeof nome, "térmica");
                else std::snprintf(nome, sizeof nome, "desl itgs %d", itgs);
                char malha[16];
                std::snprintf(malha, sizeof malha, "%dx%d", n, n);
                double por_etapa[2] = {0, 0}, comeco[2] = {0, 0};
                for (int i = 0; i < 2; ++i) {
                    if (ocupados == 0) {
                        por_etapa[i] = (melhor[1][i].melhor - melhor[0][i].melhor) /
                                       static_cast<double>(etapas[1] - etapas[0]);
                        comeco[i] = melhor[0][i].melhor - por_etapa[i] * static_cast<double>(etapas[0]);
                    } else {
                        por_etapa[i] = melhor[0][i].melhor / static_cast<double>(etapas[0]);
                    }
                }
                const auto [menor, maior] = std::minmax_element(razoes.begin(), razoes.end());
                (void)menor;
                std::printf("%-10s %-9s %-12s %6lld | %9.0f %9.0f %6.2f | %9.0f %9.0f | %6.2f %6.2f | %3d %d\n",
                            nome_da_carga(ocupados), malha, nome, etapas[0], por_etapa[1] * 1e9, por_etapa[0] * 1e9,
                            por_etapa[0] / por_etapa[1], comeco[1] * 1e9, comeco[0] * 1e9, mediana(razoes), *maior,
                            thr, sujos);
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
#endif

} // namespace

int main(int argc, char** argv)
{
    const std::string modo = argc > 1 ? argv[1] : "curta";
    if (argc > 2) repeticoes = std::max(1, std::atoi(argv[2]));
    if (argc > 3) rapido::definir_threads(std::atoi(argv[3]));
    if (argc > 4 && !rapido::usar_instrucoes(conjunto_pedido(argv[4]))) {
        std::fprintf(stderr, "bancada: a CPU não tem o conjunto %s\n", argv[4]);
        return 1;
    }
    if (modo != "curta" && modo != "completa" && modo != "estabilidade" && modo != "carga" && modo != "memoria" &&
        modo != "campos" && modo != "pequenas" && modo != "limiar") {
        std::fprintf(stderr,
                     "bancada: modo %s desconhecido (curta, completa, estabilidade, carga, memoria, campos, pequenas"
                     " ou limiar)\n",
                     modo.c_str());
        return 1;
    }
    const rapido::Instrucoes conjunto = rapido::instrucoes_em_uso();
    const int threads = rapido::numero_threads();
    std::printf("processador: %s; núcleos: %s; threads pedidas: %d; melhor de %d repetições, disp = pior/melhor\n",
                processador().c_str(), rapido::nome(conjunto), threads, repeticoes);
    if (modo == "pequenas" || modo == "limiar") {
#if defined(__linux__)
        return modo == "pequenas" ? pequenas(argc > 2 ? repeticoes : 7) : limiar(repeticoes);
#else
        std::fprintf(stderr, "bancada: o modo %s só existe no Linux\n", modo.c_str());
        return 1;
#endif
    }
    if (modo == "carga" || modo == "memoria") {
#if defined(__unix__)
        return modo == "carga" ? sob_carga(repeticoes) : memoria();
#else
        std::fprintf(stderr, "bancada: o modo %s só existe no Linux\n", modo.c_str());
        return 1;
#endif
    }
    if (modo == "campos") return campos(repeticoes);
    if (modo == "estabilidade") {
        const Config c{201, 201, 15000, 1000, 50, 100};
        const Medida m = medir([&] { executar(c, true); }, 10);
        std::printf("dez execuções rápidas idênticas (201 x 201, 15000 iterações, 50 x 100): melhor %.3f s, pior %.3f s,"
                    " pior/melhor %.2f\n",
                    m.melhor, m.pior, m.dispersao());
        return 0;
    }
    const double piso_adicao = ns_por_adicao_dependente();
    const double piso_divisao = ns_por_divisao(conjunto);
    std::printf("pisos: adição dependente %.3f ns/nó; divisão %.3f ns/nó por núcleo, %.3f com %d threads\n",
                piso_adicao, piso_divisao, piso_divisao / threads, threads);
    const bool curta = modo == "curta";
    nucleos(curta ? std::vector<std::int32_t>{201, 1001} : std::vector<std::int32_t>{101, 201, 1001}, piso_adicao,
            piso_divisao, threads);

    std::printf("\nexecuções inteiras (tempo de processar(); T: iteração térmica; razãoT/razãoD: fases térmica e"
                " dos deslocamentos)");
    cabecalho_execucoes();
    // A de referência, do issue: 201 x 201, 15000 iterações, 50 x 100 varreduras.
    execucao({201, 201, 15000, 1000, 50, 100}, repeticoes);
    for (const std::int32_t itgs : {5, 20}) execucao({201, 201, 1000, 1000, 5000 / (2 * itgs), itgs}, repeticoes);
    for (const std::int32_t passo : {1, 100}) execucao({201, 201, 3000, passo, 0, 0}, repeticoes);
    execucao({1001, 1001, 300, 1000, 5, 20}, curta ? 1 : repeticoes);
    if (curta) return 0;
    for (const std::int32_t itgs : {5, 20, 100}) execucao({1001, 1001, 100, 1000, 200 / itgs, itgs}, repeticoes);
    for (const std::int32_t n : {101, 401, 601}) {
        execucao({n, n, static_cast<std::int32_t>(1.2e8 / (n * n)), 1000, 20, 50}, repeticoes);
    }
    execucao({401, 201, 6000, 1000, 20, 50}, repeticoes);
    execucao({201, 401, 6000, 1000, 20, 50}, repeticoes);
    for (const std::int32_t passo : {1, 100, 1000}) execucao({1001, 1001, 300, passo, 0, 0}, repeticoes);
    return 0;
}
